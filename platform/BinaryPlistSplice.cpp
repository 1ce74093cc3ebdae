#include "platform/BinaryPlistSplice.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <random>

namespace tilo::platform {
namespace {

constexpr std::size_t kTrailerSize = 32;

std::uint64_t readBig(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
  }
  return value;
}

void appendBig(std::string& out, std::uint64_t value, std::size_t size) {
  for (std::size_t i = size; i-- > 0;) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The width libplist gives an integer object of this value: 1, 2, 4 or 8 bytes.
std::size_t widthFor(std::uint64_t value) {
  return value < (1ULL << 8) ? 1 : value < (1ULL << 16) ? 2 : value < (1ULL << 32) ? 4 : 8;
}

// The width of an offset: as few bytes as hold it, 3 included.
std::size_t offsetWidthFor(std::uint64_t value) {
  std::size_t width = 1;
  while (width < 8 && (value >> (8 * width)) != 0) ++width;
  return width;
}

// An ASCII string object: marker 0x5 and the length, inline below 15, else an integer.
std::string asciiObject(std::string_view text) {
  std::string out;
  if (text.size() < 15) {
    out += static_cast<char>(0x50 | text.size());
  } else {
    const std::size_t width = widthFor(text.size());
    out += '\x5F';
    out += static_cast<char>(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3));
    appendBig(out, text.size(), width);
  }
  out.append(text);
  return out;
}

}  // namespace

std::optional<std::string> spliceAsciiStrings(
    std::string_view bplist, const std::vector<std::pair<std::string, std::string_view>>& texts) {
  if (bplist.size() < 8 + kTrailerSize || bplist.substr(0, 8) != "bplist00") return std::nullopt;
  const std::string_view trailer = bplist.substr(bplist.size() - kTrailerSize);
  const std::size_t offsetSize = static_cast<std::uint8_t>(trailer[6]);
  const std::uint64_t count = readBig(trailer, 8, 8);
  const std::uint64_t tableAt = readBig(trailer, 24, 8);
  if (offsetSize < 1 || offsetSize > 8 || tableAt > bplist.size() - kTrailerSize ||
      count != (bplist.size() - kTrailerSize - tableAt) / offsetSize ||
      tableAt + count * offsetSize != bplist.size() - kTrailerSize) {
    return std::nullopt;
  }
  std::vector<std::uint64_t> offsets(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    offsets[i] = readBig(bplist, tableAt + i * offsetSize, offsetSize);
  }
  std::vector<std::uint64_t> sorted = offsets;
  std::sort(sorted.begin(), sorted.end());

  struct Splice {
    std::uint64_t at, oldSize;
    std::string object;
  };
  std::vector<Splice> splices;
  const std::string_view objects = bplist.substr(0, tableAt);
  for (const auto& [standIn, text] : texts) {
    if (standIn.size() < 15 || standIn.size() > 255) return std::nullopt;
    const std::string encoded = asciiObject(standIn);
    const auto at = objects.find(encoded);
    if (at == std::string_view::npos || objects.find(encoded, at + 1) != std::string_view::npos ||
        !std::binary_search(sorted.begin(), sorted.end(), at)) {
      return std::nullopt;
    }
    splices.push_back({at, encoded.size(), asciiObject(text)});
  }
  std::sort(splices.begin(), splices.end(),
            [](const Splice& a, const Splice& b) { return a.at < b.at; });

  // An object moves by what the splices before it added.
  auto moved = [&](std::uint64_t offset) {
    std::int64_t shift = 0;
    for (const auto& splice : splices) {
      if (splice.at >= offset) break;
      shift += static_cast<std::int64_t>(splice.object.size()) -
               static_cast<std::int64_t>(splice.oldSize);
    }
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(offset) + shift);
  };
  std::string out;
  std::size_t added = 0;
  for (const auto& splice : splices) added += splice.object.size();
  out.reserve(bplist.size() + added);
  std::uint64_t from = 0;
  for (const auto& splice : splices) {
    out.append(objects.substr(from, splice.at - from));
    out += splice.object;
    from = splice.at + splice.oldSize;
  }
  out.append(objects.substr(from));
  const std::uint64_t newTableAt = out.size();
  const std::size_t newOffsetSize = offsetWidthFor(newTableAt);
  for (std::uint64_t offset : offsets) appendBig(out, moved(offset), newOffsetSize);
  std::string newTrailer(trailer);
  newTrailer[6] = static_cast<char>(newOffsetSize);
  std::string tableBytes;
  appendBig(tableBytes, newTableAt, 8);
  newTrailer.replace(24, 8, tableBytes);
  out += newTrailer;
  return out;
}

std::string makeStandInPrefix() {
  // One draw from the system per process; every document then takes the next value of
  // a mixed counter (splitmix64), unpredictable to whoever wrote the host's values
  // without a system call per parse.
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t tag = seed + 0x9e3779b97f4a7c15ULL * (counter.fetch_add(1) + 1);
  tag = (tag ^ (tag >> 30)) * 0xbf58476d1ce4e5b9ULL;
  tag = (tag ^ (tag >> 27)) * 0x94d049bb133111ebULL;
  tag ^= tag >> 31;
  char text[40];
  std::snprintf(text, sizeof text, "\x01tilo-long-%016llx-", static_cast<unsigned long long>(tag));
  return text;
}

bool isLongAsciiText(const std::string& text, std::size_t threshold) {
  return text.size() >= threshold && std::all_of(text.begin(), text.end(), [](char c) {
           return c != 0 && static_cast<unsigned char>(c) < 0x80;
         });
}

}  // namespace tilo::platform
