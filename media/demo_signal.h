// The built-in demonstration input: a short stereo sound that shows the
// effects well.
#ifndef VORTIGEN_MEDIA_DEMO_SIGNAL_H
#define VORTIGEN_MEDIA_DEMO_SIGNAL_H

#include "audio_file.h"

namespace vtmedia {

// About six seconds of 16-bit stereo at 44100 Hz: plucked tones with sharp
// attacks and long decays, a chord that swells and fades, bursts of noise
// and a rising sweep. Deterministic.
Audio synthesiseDemoSignal();

}  // namespace vtmedia

#endif
