// Compares a rendered view, or a PNG file, with a PNG file: it matches when no channel of any pixel
// differs by more than 24 and at most 0.5 % of the pixels differ by more than 4 (the
// tolerance of tests/ui's golden images). With TILO_UPDATE_GOLDEN=1 in the environment
// it rewrites the file instead; look at the new file before committing it.
#pragma once

#include <filesystem>

#include "platform/ui/UIView.h"

namespace tilo::test {

// Records a gtest failure when the render does not match (or the file is missing).
void expectGoldenImage(platform::UIView& view, const std::filesystem::path& png);
// The same for a picture already written to `actualPng` (TILO_UPDATE_GOLDEN=1 copies it).
void expectGoldenFile(const std::filesystem::path& actualPng, const std::filesystem::path& png);

}  // namespace tilo::test
