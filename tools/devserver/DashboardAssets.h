// The dashboard's files (tools/devserver/assets), compiled into tilo-devserver. The
// definitions are generated at build time by cmake/EmbedText.cmake.
#pragma once

#include <cstddef>
#include <string_view>

namespace tilo::devserver {

struct EmbeddedText {
  const char* name;  // "dashboard.js"
  std::string_view text;
};

extern const EmbeddedText kEmbeddedTexts[];
extern const std::size_t kEmbeddedTextCount;

}  // namespace tilo::devserver
