// The JBIG encoder as fuzz_jbig links it: compiled in this file, its loops
// are traced for coverage (the job targets' copy is not, by coverage_ignore.txt).
#include "jbigCompress/jbig_encoder.cpp"  // NOLINT(bugprone-suspicious-include)
