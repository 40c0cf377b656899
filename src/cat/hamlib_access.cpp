#include "cat/hamlib_access.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <tuple>

namespace cat {

namespace {

// Both locks are never destroyed: a worker that is still finishing when the
// process exits must not find them gone.
std::mutex& NeverFreed(int which) {
    static auto* list = new std::mutex;
    static auto* open = new std::mutex;
    return which == 0 ? *list : *open;
}

int CollectModel(const rig_caps* caps, rig_ptr_t data) {
    auto* out = static_cast<std::vector<ModelInfo>*>(data);
    ModelInfo info;
    info.model = static_cast<int>(caps->rig_model);
    info.maker = caps->mfg_name != nullptr ? caps->mfg_name : "";
    info.name = caps->model_name != nullptr ? caps->model_name : "";
    info.serialRateMin = caps->serial_rate_min;
    info.serialRateMax = caps->serial_rate_max;
    info.network = caps->port_type == RIG_PORT_NETWORK || caps->port_type == RIG_PORT_UDP_NETWORK;
    info.usesPort = caps->port_type != RIG_PORT_NONE;
    out->push_back(std::move(info));
    return 1; // go on
}

} // namespace

void InitHamlib() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Hamlib 4.5 keeps the pointer that setlocale(LC_NUMERIC, NULL) returns,
        // switches to "C" (which frees the string that pointer names) and then
        // restores from it: a use after free whenever the numeric locale is not
        // already "C", as it is not once QApplication has taken the user's.
        // With "C" in place the name is static and nothing is freed.
        std::setlocale(LC_NUMERIC, "C");
        std::lock_guard lock(HamlibListLock());
        rig_set_debug(RIG_DEBUG_NONE);
        rig_load_all_backends();
    });
}

std::mutex& HamlibListLock() {
    return NeverFreed(0);
}

std::mutex& HamlibOpenLock() {
    return NeverFreed(1);
}

bool KnownModel(int model) {
    if (model <= 0) {
        return false;
    }
    InitHamlib();
    std::lock_guard lock(HamlibListLock());
    return rig_get_caps(static_cast<rig_model_t>(model)) != nullptr;
}

std::vector<ModelInfo> ListModels() {
    InitHamlib();
    std::vector<ModelInfo> models;
    {
        std::lock_guard lock(HamlibListLock());
        rig_list_foreach(CollectModel, &models);
    }
    std::sort(models.begin(), models.end(), [](const ModelInfo& a, const ModelInfo& b) {
        return std::tie(a.maker, a.name, a.model) < std::tie(b.maker, b.name, b.model);
    });
    return models;
}

std::string HamlibErrorText(int rc) {
    // Hamlib's own rigerror() appends its saved debug messages, so the texts
    // are kept here.
    switch (std::abs(rc)) {
    case RIG_OK:
        return "no error";
    case RIG_EINVAL:
        return "invalid parameter";
    case RIG_ECONF:
        return "invalid configuration";
    case RIG_ENOMEM:
        return "out of memory";
    case RIG_ENIMPL:
        return "function not implemented";
    case RIG_ETIMEOUT:
        return "communication timed out";
    case RIG_EIO:
        return "IO error (port cannot be opened or connection lost)";
    case RIG_EINTERNAL:
        return "internal Hamlib error";
    case RIG_EPROTO:
        return "protocol error";
    case RIG_ERJCTED:
        return "command rejected by the rig";
    case RIG_ETRUNC:
        return "argument truncated";
    case RIG_ENAVAIL:
        return "function not available";
    case RIG_ENTARGET:
        return "VFO not targetable";
    case RIG_EVFO:
        return "invalid VFO";
    case RIG_EDOM:
        return "argument out of domain";
    case RIG_EPOWER:
        return "rig not powered on";
    default:
        return "Hamlib error " + std::to_string(std::abs(rc));
    }
}

} // namespace cat
