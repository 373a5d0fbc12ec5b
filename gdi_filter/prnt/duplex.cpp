// Duplex commands: machine duplex after odd pages on PLATFORM_C, and the manual
// duplex command between the fronts and the backs of a manual-duplex job.
#include "prnt/duplex.h"

#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/fixed_commands.h"
#include "prnt/packet.h"

int SendMachineDuplexCmd(int pageNum, int bEndDoc) {
    // At the end of a document (bEndDoc 1) the sheet is open after an odd page.
    const bool due = bEndDoc ? (pageNum % 2 != 0) : (pageNum % 2 == 0);
    if (!due) return 1;
    Insert00();
    if (SendFixed(machineDuplexCmd, 1)) return 1;
    return FailStep("SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n");
}

// Never cached: a spooled copy of the job must not pause for the user again.
int SendManualDuplexCmd(int platform) {
    switch (platform) {
        case PLATFORM_M: {
            GDI_JOB_SPEC_M cmd;
            SetCmdType(&cmd, sizeof cmd, MANUAL_DUPLEX_CMD, 0, 0, kLongCmdSignature);
            if (SendRecord(cmd, 0)) return 1;
            return FailStep("SendManualDuplexCmd() :: send MANUAL_DUPLEX_CMD Fail 0 ==  \n");
        }
        case PLATFORM_Z:
            if (SendFixed(manualDuplexCmd_Z, 0)) return 1;
            return FailStep("SendManualDuplexCmd() :: send manualDuplexCmd_Z Fail 0 ==  \n");
        case PLATFORM_C:
            if (SendFixed(manualDuplexCmd_C, 0)) return 1;
            return FailStep("SendManualDuplexCmd() :: send manualDuplexCmd_C Fail 0 ==  \n");
        default:
            return 0;
    }
}
