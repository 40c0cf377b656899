// Process-wide access to Hamlib: one-time set-up, the locks around the calls
// that touch Hamlib's shared lists, the catalogue of rig models and readable
// error texts. No Qt here: the rig workers use it too.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace cat {

// Silences Hamlib's debug output and loads every back end. The work is done
// once; the first call must come from the main thread, before any rig worker
// starts, because it also sets the process's numeric locale to "C" (Hamlib
// needs it, see the .cpp).
void InitHamlib();

// Held around rig_init, rig_cleanup and every walk over Hamlib's model list.
// Never held across a call that talks to a rig.
std::mutex& HamlibListLock();

// Held around rig_open and rig_close, which update Hamlib's list of open
// rigs. Only the rig workers take it.
std::mutex& HamlibOpenLock();

// True when Hamlib has a back end for the model number.
bool KnownModel(int model);

struct ModelInfo {
    int model = 0;
    std::string maker;
    std::string name;
    int serialRateMin = 0;
    int serialRateMax = 0;
    bool network = false; // reached over TCP or UDP ("host:port")
    bool usesPort = true; // false for rigs with no port at all (Hamlib's dummy)
};

// Every model Hamlib knows, ordered by maker, then name, then number.
std::vector<ModelInfo> ListModels();

// What a Hamlib return code means, in a short English text ("IO error").
std::string HamlibErrorText(int rc);

} // namespace cat
