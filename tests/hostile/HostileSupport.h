#pragma once
// What the hostile-input tests share: AIR images (common/AirImage.h) and
// scratch folders with whole-file reads and writes (common/TempDir.h).
#include "common/AirImage.h"
#include "common/TempDir.h"

namespace hostile {

using airtest::Bytes;
using airtest::namesIn;
using airtest::readBytes;
using airtest::readText;
using airtest::TempDir;
using airtest::writeBytes;
using airtest::writeText;

} // namespace hostile
