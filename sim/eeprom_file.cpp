#include "sim/eeprom_file.h"

#include "ini/atomic_file.h"

namespace sim {

std::string EepromText(const std::map<int, koravel::Bytes>& eeprom) {
    std::string text;
    for (const auto& [block, bytes] : eeprom) {
        text += std::to_string(block);
        text += ' ';
        text += koravel::HexPacked(bytes);
        text += '\n';
    }
    return text;
}

bool WriteEepromFile(const std::string& path, const std::string& text, std::string& error) {
    if (ini::WriteFileAtomically(path, text, error, ini::FileSync::None))
        return true;
    error = "cannot write " + path + ": " + error;
    return false;
}

} // namespace sim
