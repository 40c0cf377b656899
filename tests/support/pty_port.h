// A pseudo-terminal linked as ports/com<N> in a temporary config folder, so
// that the serial layer opens it by its port name; the test plays the device
// on the master side.
#pragma once

#include "protocol/bytes.h"

#include <string>

namespace testing_support {

// A fresh temporary folder, set as KORAVEL_CONFIG_DIR; removed on destruction.
class TempConfigDir {
public:
    TempConfigDir();
    ~TempConfigDir();
    TempConfigDir(const TempConfigDir&) = delete;
    TempConfigDir& operator=(const TempConfigDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class PtyPort {
public:
    // Creates the pair (raw mode) and the link ports/com<number>.
    PtyPort(const std::string& configDir, int number);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // What the program under test wrote, so far (never waits).
    koravel::Bytes ReadAvailable();
    // Writes to the program under test.
    void Write(const koravel::Bytes& bytes);
    // Closes the master side, as a pulled-out adapter does: the program's
    // side of the line is hung up.
    void HangUp();

private:
    int master_ = -1;
    int slave_ = -1; // kept open so the master never sees a hang-up
    std::string slavePath_;
    std::string link_;
};

} // namespace testing_support
