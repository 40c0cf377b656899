// What a unit's EEPROM must hold after a set-up file went through, worked out
// field by field from the block tables (offset, width, kind), apart from the
// layout strings and the codec that the tests check.
#pragma once

#include "ini/profile.h"
#include "protocol/bytes.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// A file of tests/data.
inline std::string SetupDataFile(const std::string& name) {
    return std::string(KORAVEL_SOURCE_DIR) + "/tests/data/" + name;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct FieldAt {
    const char* key;
    int offset;
    int width;
    bool text;
};

inline const std::vector<FieldAt> kFactoryOld = {
    {"mot_maxvel", 1, 2, false},     {"mot_minvel", 3, 2, false},
    {"mot_accel", 5, 1, false},      {"pwm_rampa", 6, 2, false},
    {"pwm_crociera", 8, 2, false},   {"pwm_azzera", 10, 2, false},
    {"vel_azzera", 12, 2, false},    {"pwm_freq", 14, 1, false},
    {"k_freq2mm", 15, 4, false},     {"max_estensio1", 19, 2, false},
    {"max_estensio2", 21, 2, false}, {"max_estensio3", 23, 2, false},
    {"max_estensio4", 25, 2, false}, {"k_mm2s_passi", 27, 2, false},
    {"k_mm2s_mm", 29, 2, false},     {"model", 31, 16, true},
};
inline const std::vector<FieldAt> kFactoryNew = {
    {"mot_maxvel", 1, 2, false},     {"mot_minvel", 3, 2, false},
    {"mot_accel", 5, 1, false},      {"pwm_rampa", 6, 2, false},
    {"pwm_crociera", 8, 2, false},   {"pwm_azzera", 10, 2, false},
    {"vel_azzera", 12, 2, false},    {"pwm_freq", 14, 1, false},
    {"k_freq2mm", 15, 4, false},     {"min_estensio", 19, 2, false},
    {"max_estensio", 21, 2, false},  {"max_estensio2", 23, 2, false},
    {"max_estensio3", 25, 2, false}, {"max_estensio4", 27, 2, false},
    {"k_mm2s_passi", 29, 2, false},  {"k_mm2s_mm", 31, 2, false},
    {"max_tpband", 33, 1, false},    {"max_driver", 34, 1, false},
    {"model", 35, 16, true},         {"welcome", 51, 24, true},
    {"eeprom_vers", 75, 1, false},   {"reser", 76, 32, true},
};
inline const std::vector<FieldAt> kUserOld = {
    {"bipbip", 1, 1, false},     {"movebip", 2, 1, false},    {"repebip", 3, 1, false},
    {"contrasto", 4, 1, false},  {"luminosita", 5, 1, false}, {"lingua", 6, 1, false},
    {"umisura", 7, 1, false},    {"welcome", 8, 24, true},    {"civ_mode", 32, 1, false},
    {"civ_brate", 33, 1, false}, {"civ_proto", 34, 1, false},
};
inline const std::vector<FieldAt> kUserNew = {
    {"bipbip", 1, 1, false},       {"movebip", 2, 1, false},    {"repebip", 3, 1, false},
    {"contrasto", 4, 1, false},    {"luminosita", 5, 1, false}, {"lingua", 6, 1, false},
    {"umisura", 7, 1, false},      {"rtx_mode", 8, 1, false},   {"rtx_commpars", 9, 1, false},
    {"rtx_proto", 10, 1, false},   {"rtx_addr", 11, 1, false},  {"rtx_addrT", 12, 1, false},
    {"eeprom_vers", 13, 1, false}, {"reser", 14, 28, true},
};

// One block from the plain decimal values of the test files.
inline koravel::Bytes ExpectedBlock(const ini::Profile& file, const std::string& section,
                                    const std::vector<FieldAt>& fields, int size) {
    koravel::Bytes block(static_cast<std::size_t>(size), 0x00);
    for (const FieldAt& f : fields) {
        const std::string value = file.GetString(section, f.key, "");
        for (int i = 0; i < f.width; ++i) {
            std::uint8_t byte = 0;
            if (f.text) {
                byte = i < static_cast<int>(value.size()) ? static_cast<std::uint8_t>(value[i]) : 0;
            } else if (!value.empty()) {
                const auto bits = static_cast<std::uint32_t>(std::stoll(value));
                byte = i < 4 ? static_cast<std::uint8_t>(bits >> (8 * i)) : 0;
            }
            block[static_cast<std::size_t>(f.offset + i)] = byte;
        }
    }
    return block;
}

// The EEPROM image a unit of this firmware version holds after the file
// went through: only sections with keys are written.
inline std::map<int, koravel::Bytes> ExpectedImage(const ini::Profile& file, int firmware) {
    std::map<int, koravel::Bytes> image;
    auto put = [&](int block, const std::string& section, const std::vector<FieldAt>& fields,
                   int size) {
        if (!file.Keys(section).empty())
            image[block] = ExpectedBlock(file, section, fields, size);
    };
    const bool fresh = firmware >= 269;
    put(0, "Factory", fresh ? kFactoryNew : kFactoryOld, fresh ? 108 : 47);
    put(1, "User", fresh ? kUserNew : kUserOld, fresh ? 42 : 35);
    static const char* const kOffs[] = {"offset1", "offset2", "offset3", "offset4"};
    static const char* const kTune[] = {"Tune1", "Tune2", "Tune3", "Tune4"};
    for (int n = 1; n <= 33; ++n) {
        std::vector<FieldAt> offs, tune;
        for (int i = 0; i < 4; ++i) {
            offs.push_back({kOffs[i], 1 + 4 * i, 4, false});
            tune.push_back({kTune[i], 1 + 2 * i, 2, false});
        }
        put(n + 2, "Useroffs" + std::to_string(n), offs, 17);
        put(n + 36, "FactoryTune" + std::to_string(n), tune, 9);
    }
    return image;
}

// The same from a file by its path; empty when it does not load.
inline std::map<int, koravel::Bytes> ExpectedImage(const std::string& path, int firmware,
                                                   std::string* error = nullptr) {
    std::string reason;
    const std::optional<ini::Profile> file = ini::Profile::Load(path, reason);
    if (error != nullptr)
        *error = reason;
    return file ? ExpectedImage(*file, firmware) : std::map<int, koravel::Bytes>{};
}

} // namespace testing_support
