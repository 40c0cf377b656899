// The EEPROM image as a text file: one line per stored block, in block
// order: the block number in decimal, a blank, the block's bytes in
// upper-case hex with no separators.
#pragma once

#include "protocol/bytes.h"

#include <map>
#include <string>

namespace sim {

std::string EepromText(const std::map<int, koravel::Bytes>& eeprom);

// Replaces the image file with text (EepromText) in one step, so a reader
// never sees it half written. The disk is not waited for: the image is
// rewritten at every block write. False with a message on failure.
bool WriteEepromFile(const std::string& path, const std::string& text, std::string& error);

} // namespace sim
