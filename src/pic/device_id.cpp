#include "pic/device_id.h"

#include "pic/pic_chip.h"
#include "pic/pic_transport.h"

namespace vexilo::pic {

PicIdentity ReadPicIdentity(port::PortSession& session) {
  PicIdentity id;
  session.SetMCLR(1);
  PicCommand(session, cmd::kLoadConfiguration);
  PicWriteData(session, 0x3FFF);
  for (int i = 0; i < kConfigWordIncrements - 1; ++i) PicCommand(session, cmd::kIncrementAddress);
  PicCommand(session, cmd::kReadProgram);
  id.deviceId = PicReadData(session);
  PicCommand(session, cmd::kIncrementAddress);
  PicCommand(session, cmd::kReadProgram);
  id.configWord = PicReadData(session);
  PicCommand(session, cmd::kReadData);
  id.dataFrame = PicReadData(session);
  session.SetMCLR(0);
  return id;
}

bool AnswersLikePic(const PicIdentity& identity) {
  constexpr uint16_t kAllOnes = 0x3FFF;
  if (identity.dataFrame == 0 && identity.configWord == 0) return false;
  return (identity.dataFrame & 0x3F00) == 0 ||
         (identity.configWord != kAllOnes && identity.configWord != 0);
}

}  // namespace vexilo::pic
