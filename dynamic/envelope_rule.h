// The per-bin rule of the Dynamic effect: an envelope that follows a bin's
// magnitude from frame to frame, and the magnitude and phase it gives the
// bin. Kept apart so that the rule reads as one piece.
#ifndef VORTIGEN_DYNAMIC_ENVELOPE_RULE_H
#define VORTIGEN_DYNAMIC_ENVELOPE_RULE_H

struct BinState {
  float magnitude;
  float envelope;
};

// One frame of one bin. A rising bin (magnitude at or above its envelope)
// takes the attack coefficient, a falling one the release coefficient; a
// falling bin below the frame's floor first has its envelope set to its
// magnitude, so it keeps that magnitude. A coefficient c >= 0 exaggerates
// the departure d from the envelope (magnitude + c d) and lets the
// envelope follow by (1 - c) d; c < 0 makes the output the envelope itself,
// moved towards the magnitude by (1 + c) d.
inline BinState followEnvelope(float magnitude, float envelope, float magnitudeFloor, float attack,
                               float release) {
  // Written as selections rather than branches: whether a bin rises or
  // falls is as good as random, and the loop over the bins vectorises.
  const bool rising = magnitude >= envelope;
  envelope = (!rising && magnitude < magnitudeFloor) ? magnitude : envelope;
  const float coefficient = rising ? attack : release;
  const float departure = magnitude - envelope;
  const float exaggerated = magnitude + coefficient * departure;
  const float following = envelope + (1.0f - coefficient) * departure;
  const float smoothed = envelope + (1.0f + coefficient) * departure;
  const bool hard = coefficient >= 0.0f;
  return BinState{hard ? exaggerated : smoothed, hard ? following : smoothed};
}

// The phase shift of a bin: the chaos value to the eighth power times the
// bin's new envelope, in radians.
inline float chaosShift(float chaos, float envelope) {
  const float squared = chaos * chaos;
  const float fourth = squared * squared;
  return fourth * fourth * envelope;
}

#endif
