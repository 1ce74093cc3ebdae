// The identifier of this process's session, stamped on every analytics event and every
// crash marker.
//
//   event.sessionId = sessionIdentifier();   // same value for the whole process
//
// 26 characters of the alphabet "0123456789ABCDEFGHJKMNPQRSTVWXYZ": the 48-bit creation
// time in milliseconds followed by 80 random bits, read five bits at a time from the most
// significant end, the last three bits shifted left by two. (Unlike canonical ULIDs the
// padding sits at the end, so the last character is one of 0 4 8 C G M R W.) When the time
// does not fit 48 bits or no secure random bytes are available, it is an upper-case UUID.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tilo {

// Made on first use, then fixed. A forked child process makes its own on first use.
const std::string& sessionIdentifier();

// The 26-character text for the low 48 bits of `millis` and the ten random bytes.
std::string encodeSessionIdentifier(std::uint64_t millis, std::span<const std::uint8_t, 10> random);

}  // namespace tilo
