#pragma once
/* The three C entry points of the DSP-ADPCM codec library and its coding-information
 * record, as the tool calls them after loading the library at run time. */
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 46 bytes, 16-bit fields in the byte order of the machine running the library. */
typedef struct DspAdpcmCodingInfo {
    int16_t coef[16];         /* 8 predictor pairs, 11 fractional bits */
    uint16_t gain;            /* 0 */
    uint16_t predScale;       /* byte 0 of the first frame */
    int16_t yn1;              /* history before the first sample */
    int16_t yn2;
    uint16_t loopPredScale;   /* no loop: 0 */
    int16_t loopYn1;
    int16_t loopYn2;
} DspAdpcmCodingInfo;

/* Bytes of encoded data for `samples` samples of one channel. */
typedef uint32_t (*DspAdpcmBytesForSamples)(uint32_t samples);
/* Bytes the encoder may write for `samples` samples of one channel. */
typedef uint32_t (*DspAdpcmBytesForBuffer)(uint32_t samples);
/* Encodes `samples` samples of one channel into `out`, filling `info`. */
typedef void (*DspAdpcmEncode)(const int16_t* input, uint8_t* out, DspAdpcmCodingInfo* info,
                               uint32_t samples);

#define DSP_ADPCM_EXPORT_BYTES_FOR_SAMPLES "getBytesForAdpcmSamples"
#define DSP_ADPCM_EXPORT_BYTES_FOR_BUFFER "getBytesForAdpcmBuffer"
#define DSP_ADPCM_EXPORT_ENCODE "encode"

#ifdef __cplusplus
}
static_assert(sizeof(DspAdpcmCodingInfo) == 46, "the record is 46 bytes");
static_assert(offsetof(DspAdpcmCodingInfo, predScale) == 34, "pred_scale at 34");
static_assert(offsetof(DspAdpcmCodingInfo, yn1) == 36, "yn1 at 36");
static_assert(offsetof(DspAdpcmCodingInfo, yn2) == 38, "yn2 at 38");
#endif
