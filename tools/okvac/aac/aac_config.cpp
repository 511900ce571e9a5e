#include "aac_config.h"

#include <cstring>
#include <vector>

#include "bit_cursor.h"
#include "element_bounds.h"

const int kAacRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                           22050, 16000, 12000, 11025, 8000,  7350};

namespace {
const char* const kObjectNames[] = {"null", "AAC Main", "AAC-LC", "AAC SSR", "AAC LTP", "SBR", "AAC scalable"};
}

std::string AacConfig::unsupported() const {
    if (objectType != 1 && objectType != 2 && objectType != 4) {
        const std::string name = objectType >= 0 && objectType <= 6 ? kObjectNames[objectType]
                                 : objectType >= 17 && objectType <= 23 ? "error-resilient AAC"
                                                                        : "audio object type " + std::to_string(objectType);
        return name + " streams are not supported (AAC-LC, Main and LTP only)";
    }
    if (rateIndex == 12) return "sampling-rate index 12 (7350 Hz) is not supported";
    if (rateIndex > 12) return "reserved sampling-rate index " + std::to_string(rateIndex);
    return "";
}

bool AacConfig::makeLayout() {
    if (hasPce) {
        layout.fromPce(pce);
        return layout.channels > 0;
    }
    return layout.fromConfig(channelConfig);
}

bool parseAudioSpecificConfig(const uint8_t* asc, size_t len, AacConfig* cfg, std::string* why) {
    // A damaged program configuration element may read as far as a whole one reaches.
    std::vector<uint8_t> buf(asc, asc + len);
    buf.resize(len + aacbounds::kGuardBytes, 0);
    BitCursor bc{buf.data(), 0, buf.data() + len};
    auto objectType = [&] {
        int t = int(bc.read(5));
        return t == 31 ? 32 + int(bc.read(6)) : t;
    };
    auto rate = [&](int* index) {
        *index = int(bc.read(4));
        if (*index != 15) return *index < 13 ? kAacRates[*index] : 0;
        const int hz = int(bc.read(24));
        *index = 13;
        for (int i = 0; i < 13; ++i)
            if (kAacRates[i] == hz) *index = i;
        return hz;
    };
    cfg->objectType = objectType();
    cfg->sampleRate = rate(&cfg->rateIndex);
    cfg->channelConfig = int(bc.read(4));
    if (cfg->objectType == 5 || cfg->objectType == 29) {  // explicit hierarchical SBR: the core follows
        cfg->sbr = true;
        if (cfg->objectType == 29) cfg->ps = 1;
        int extIndex;
        cfg->sbrRate = rate(&extIndex);
        cfg->objectType = objectType();
    }
    if (bc.left() < 0) return *why = "the decoder configuration is truncated", false;
    if (!cfg->unsupported().empty()) return true;  // the caller reports it
    if (bc.read(1)) return *why = "960-sample frames are not supported", false;
    if (bc.read(1)) bc.read(14);  // core coder delay
    bc.read(1);                   // extension flag: none for LC
    if (cfg->channelConfig == 0) {
        Okv8u* p = const_cast<Okv8u*>(bc.p);
        int off = bc.off;
        if (okvsDecodePrgCfgElt_AAC(&p, &off, &cfg->pce) != okvOk || p > buf.data() + len)
            return *why = "the program configuration element is damaged", false;
        cfg->hasPce = true;
        bc.p = p, bc.off = off;
    }
    // Backward-compatible SBR and PS signals after the core configuration.
    if (bc.left() >= 16 && bc.read(11) == 0x2B7 && objectType() == 5 && bc.read(1)) {
        cfg->sbr = true;
        int extIndex;
        cfg->sbrRate = rate(&extIndex);
        if (bc.left() >= 12 && bc.read(11) == 0x548) cfg->ps = int(bc.read(1));
    }
    return true;
}
