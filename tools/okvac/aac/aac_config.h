// What a stream says about itself before its first raw data block: from an ADTS header, an
// ADIF header or an AudioSpecificConfig.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "channel_layout.h"
#include "okvac.h"

struct AacConfig {
    int objectType = 2;       // core audio object type (2 = LC)
    int rateIndex = 0;
    int sampleRate = 0;
    int channelConfig = 0;    // 0: a program configuration element describes the channels
    bool mpeg2 = false;       // MPEG-2 syntax (ADTS id 1, ADIF, MPEG-2 AAC track)
    bool sbr = false;         // SBR (HE-AAC) signalled
    int sbrRate = 0;          // the output rate signalled with SBR, 0 when not signalled
    int ps = -1;              // parametric stereo: 1 signalled, 0 signalled absent, -1 not said
    bool prediction = true;   // AAC Main: run the predictor (off only to hear what it adds)
    bool hasPce = false;
    AACPrgCfgElt pce{};
    ChannelLayout layout;

    // Why the configuration cannot be decoded, or empty when it can.
    std::string unsupported() const;
    // Builds the layout from the channel configuration or the PCE; false when neither gives one.
    bool makeLayout();
};

extern const int kAacRates[13];

// Parses an AudioSpecificConfig. False with *why set when it is malformed or not AAC.
bool parseAudioSpecificConfig(const uint8_t* asc, size_t len, AacConfig* cfg, std::string* why);
