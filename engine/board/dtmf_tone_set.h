// The DTMF tones of the six sending levels at 16000 Hz, built once and shared
// by the transmit tasks of every board for as long as one of them holds it.
#pragma once

#include <memory>

#include "dsp/dtmf_tone_generator.h"

namespace orvel {

// The set in use, or a new one; null (errno ENOMEM) when it cannot be built.
std::shared_ptr<const dsp::CDtmfToneBank> sharedDtmfToneSet();

}  // namespace orvel
