// Raw byte buffers passed between crypto, Base64, files and the network.
#pragma once

#include <cstdint>
#include <vector>

namespace tilo::platform {

using Bytes = std::vector<std::uint8_t>;

}  // namespace tilo::platform
