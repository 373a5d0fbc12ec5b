// The fixed command strings of the printer language. Each is stored with its
// terminating zero byte and sent with its text length (SendFixed), so that byte
// never reaches the printer. None of them contains a zero byte of its own.
#pragma once

// Universal Exit Language; PLATFORM_C's variant has 0xFF in its second byte.
inline constexpr char UEL_CMD[] = "\x1B%-12345X";
inline constexpr char UEL_CMD_C[] = "\x1B\xFF-12345X";
inline constexpr char PJLheader[] = "\x1B%-12345X@PJL\r\n";
inline constexpr char pjlVersion[] = "@PJL LANGUAGEVERSION=1.0\r\n";
inline constexpr char pjlPreSendTime[] = "@PJL JOBTIME=";
inline constexpr char pjlPreComputerName[] = "@PJL JOBOWNER=";
inline constexpr char CRLF[] = "\r\n";
inline constexpr char pjlCmd[] = "@PJL ENTER LANGUAGE=PL\r\n";
inline constexpr char endOfJobCmd[] = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";
inline constexpr char fwVer[] = "versions=3.1.2.1";
inline constexpr char pjlJZJZ_Gadrel[] = "JZJZ";

// Fixed short commands, checksum included.
inline constexpr char abortCmd[] = "\x0B\x04\x16\xDB";
inline constexpr char resetCmd[] = "\x0B\x04\x17\xDA";
inline constexpr char formFeedCmd[] = "\x0B\x04\x18\xD9";
inline constexpr char manualDuplexCmd_Z[] = "\x0B\x04\x1B\xD6";
inline constexpr char manualDuplexCmd_C[] = "\x0B\x04\x30\xC1";
inline constexpr char queryStatusCmd[] = "\x0B\x05\x31\x80\x3F";
inline constexpr char hostUseCmd[] = "\x0B\x04\x32\xBF";
inline constexpr char machineDuplexCmd[] = "\x0B\x04\x40\xB1";
