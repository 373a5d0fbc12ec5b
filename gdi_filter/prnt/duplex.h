// Duplex commands: the machine duplex command after odd pages (PLATFORM_C) and
// the manual duplex command between the fronts and the backs.
#pragma once

int SendMachineDuplexCmd(int pageNum, int bEndDoc);
int SendManualDuplexCmd(int platform);
