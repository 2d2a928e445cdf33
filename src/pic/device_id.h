#pragma once
#include <cstdint>

#include "port/port_session.h"

namespace vexilo::pic {

// What a PIC in the reader tells about itself without being written: configuration memory
// word 0x2006 (the device ID of the chips that have one: DEV in bits 13-5, REV in bits 4-0),
// the configuration word at 0x2007, and the whole 14-bit frame of a data memory read (the
// chip drives only the 8 data bits, so bits 13-8 come back 0; a data line nobody drives
// reads 1 in every bit).
struct PicIdentity {
  uint16_t deviceId = 0;
  uint16_t configWord = 0;
  uint16_t dataFrame = 0;
};

// Reads the three in one programming mode of their own (SetMCLR(1) .. SetMCLR(0)).
PicIdentity ReadPicIdentity(port::PortSession& session);

// PIC16F876: DEV 00 1001 111 (PIC16F87X programming specification, DS39025).
inline constexpr uint16_t kPic16F876DeviceId = 0x09E0;
inline constexpr uint16_t kDeviceIdDevMask = 0x3FE0;

inline bool IsPic16F876Id(uint16_t id) { return (id & kDeviceIdDevMask) == kPic16F876DeviceId; }
inline unsigned DeviceRevision(uint16_t id) { return id & 0x1Fu; }

// Something answers as a PIC does: the data frame carries 8 bits only, or the configuration
// word is neither all 1 (a floating line) nor all 0 (a line held low).
bool AnswersLikePic(const PicIdentity& identity);

}  // namespace vexilo::pic
