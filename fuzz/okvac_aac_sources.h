// The okvac AAC front-end, built into its fuzz targets, and the loop both targets drive.
#pragma once
#include "../tools/okvac/aac/aac_config.cpp"
#include "../tools/okvac/aac/aac_frame_decoder.cpp"
#include "../tools/okvac/aac/aac_stream_decoder.cpp"
#include "../tools/okvac/aac/aac_tables.cpp"
#include "../tools/okvac/aac/channel_layout.cpp"
#include "../tools/okvac/aac/coupling_element.cpp"
#include "../tools/okvac/aac/ltp_channel.cpp"
#include "../tools/okvac/aac/main_prediction.cpp"
#include "../tools/okvac/aac/tns_filter.cpp"
#include "../tools/okvac/container/adts_scanner.cpp"
#include "../tools/okvac/container/gapless.cpp"
#include "../tools/okvac/container/mp4_reader.cpp"
#include "../tools/okvac/container/tags.cpp"
#include "../tools/okvac/ps/ps_decoder.cpp"
#include "../tools/okvac/ps/ps_reader.cpp"
#include "../tools/okvac/ps/ps_stage.cpp"
#include "../tools/okvac/sbr/sbr_bitstream.cpp"
#include "../tools/okvac/sbr/sbr_channel.cpp"
#include "../tools/okvac/sbr/sbr_decoder.cpp"
#include "../tools/okvac/sbr/sbr_freq_tables.cpp"

// Decodes the whole input as the given container (run with -close_fd_mask=2: failing frames
// are reported on stderr); every block must be whole frames of the stream's channel count.
inline void decodeAll(const uint8_t* data, size_t size, AacContainer kind) {
    AacStreamDecoder dec(std::vector<uint8_t>(data, data + size), kind, true);
    std::string why;
    if (!dec.setup(&why)) return;
    // The largest layout: 15 pairs in each of the front, side and back rows and 3 LFE channels.
    if (dec.channels() < 1 || dec.channels() > 3 * 15 * 2 + 3) __builtin_trap();
    const int16_t* pcm;
    size_t frames;
    // At most four blocks per frame, of 2048 samples once SBR runs.
    while (dec.next(&pcm, &frames))
        if (frames == 0 || frames > 4 * 2048) __builtin_trap();
}
