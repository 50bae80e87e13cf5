/* vortigen.h: the C interface of libvortigen, the two spectral effects
 * ("dynamic" and "fourier") on float audio of any length, sample rate and
 * channel count, for programs in any language that can call C.
 *
 * C99, usable from C++. Link with pkg-config's `vortigen` or CMake's
 * `find_package(Vortigen)` and `Vortigen::vortigen`.
 *
 * Errors. Every function that can fail returns a vortigen_status;
 * VORTIGEN_OK (0) is success. After a failure, vortigen_last_error() gives
 * one sentence naming the value that was wrong and what to do. Nothing is
 * thrown out of the library and nothing is printed.
 *
 * Threads. Different instances may be used on different threads at once.
 * One instance is used by one thread at a time. Functions marked
 * "real-time safe" allocate nothing, take no lock and do no I/O, so they
 * may run on an audio thread; the others may allocate and belong to other
 * threads. (A real-time safe call refused for a NULL argument records its
 * message in thread-local storage, which the C library may allocate on a
 * thread's first use when libvortigen was loaded with dlopen.)
 *
 * Samples. Float samples with full scale at 1.0 (or any other scale: see
 * integer_scale in vortigen_new). Output is not clipped.
 *
 * ABI. Only what this header declares is exported (symbol version
 * VORTIGEN_1). Functions are only ever added; a change that breaks callers
 * comes with a new SONAME. */
#ifndef VORTIGEN_VORTIGEN_H
#define VORTIGEN_VORTIGEN_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VORTIGEN_API __attribute__((visibility("default")))
#else
#define VORTIGEN_API
#endif

/* The version of this header; vortigen_version() gives the library's. */
#define VORTIGEN_VERSION_MAJOR 1
#define VORTIGEN_VERSION_MINOR 0

/* The most channels one instance takes. */
#define VORTIGEN_MAX_CHANNELS 1024

typedef enum vortigen_status {
  VORTIGEN_OK = 0,             /* done */
  VORTIGEN_ERROR_ARGUMENT = 1, /* a null pointer, or a count or length out of range */
  VORTIGEN_ERROR_EFFECT = 2,   /* no effect of that name */
  VORTIGEN_ERROR_PRESET = 3,   /* neither a built-in preset's name nor a readable preset text */
  VORTIGEN_ERROR_CURVES = 4,   /* curves the effect cannot use (count, range, order, effect) */
  VORTIGEN_ERROR_SETTINGS = 5, /* a sample rate, channel count or integer scale out of range */
  VORTIGEN_ERROR_MEMORY = 6,   /* an allocation failed */
  VORTIGEN_ERROR_INTERNAL = 7  /* a fault inside the library; the message says where */
} vortigen_status;

/* An effect running on one stream: its curves, state and scratch. */
typedef struct vortigen_instance vortigen_instance;

/* Curves prepared for an instance of one effect (see vortigen_use_curves). */
typedef struct vortigen_curves vortigen_curves;

/* ---- Library ---------------------------------------------------------- */

/* The library's version, "MAJOR.MINOR.PATCH". Static storage; any thread;
 * real-time safe. */
VORTIGEN_API const char* vortigen_version(void);

/* The message of the last call on this thread that failed: one sentence
 * naming what was wrong. "" when none has failed. Valid until the next
 * failing call on this thread; never free it. Real-time safe. */
VORTIGEN_API const char* vortigen_last_error(void);

/* A short fixed text for a status ("invalid argument", ...). Static
 * storage; real-time safe. */
VORTIGEN_API const char* vortigen_status_text(vortigen_status status);

/* ---- Effects, curves and built-in presets ----------------------------- */
/* Names and texts returned here are in static storage, valid for the life
 * of the process; never free them. Any thread; they allocate only on the
 * first call of the process. Effect names match in any letter case. */

/* The number of effects (2). */
VORTIGEN_API int vortigen_effect_count(void);

/* The name ("dynamic", "fourier") of effect `index` (0-based), NULL when
 * there is none. */
VORTIGEN_API const char* vortigen_effect_name(int index);

/* What effect `effect` does, in a few words ("Dynamic and Chaos Effects");
 * NULL, with a message, for an unknown effect. */
VORTIGEN_API const char* vortigen_effect_description(const char* effect);

/* The number of curves of `effect` (dynamic: 3, fourier: 1); -1, with a
 * message, for an unknown effect. */
VORTIGEN_API int vortigen_curve_count(const char* effect);

/* The name of curve `index` of `effect` ("attack", "release", "chaos";
 * "transfer"), in the order preset texts carry them; NULL, with a message,
 * for an unknown effect or index. */
VORTIGEN_API const char* vortigen_curve_name(const char* effect, int index);

/* The number of built-in presets of `effect`; -1, with a message, for an
 * unknown effect. */
VORTIGEN_API int vortigen_preset_count(const char* effect);

/* The name ("Hard Attack") and the text ("Hard Attack,3,2,0,12375,...")
 * of built-in preset `index` of `effect`; NULL, with a message, for an
 * unknown effect or index. */
VORTIGEN_API const char* vortigen_preset_name(const char* effect, int index);
VORTIGEN_API const char* vortigen_preset_text(const char* effect, int index);

/* ---- Instances -------------------------------------------------------- */

/* Makes an instance of `effect` for a stream of `channels` channels (1 to
 * VORTIGEN_MAX_CHANNELS: pairs go through the paired transform, an odd
 * last channel alone) at `sample_rate` Hz (any positive rate; the frame
 * length follows from it: 1024 from 44100 Hz, 512 from 22050, else 256).
 *
 * `preset` chooses the curves: NULL or "" for the effect's initial curves
 * (nearly transparent); the name of a built-in preset ("Hard Attack", any
 * letter case); or a preset text as the plug-ins store it,
 * "Name,3,n,x1,y1,...,xn,yn,..." (one point list per curve, x rising,
 * every value 0..16384). Text holding a comma is read as a preset text.
 *
 * `integer_scale` is how many steps of the plug-ins' integer scale float
 * 1.0 stands for: 32768 for samples on the 16-bit scale (what the tool
 * uses for every format but 8-bit), 128 for the 8-bit scale.
 *
 * On success *out is the instance, to be freed with vortigen_free; on
 * failure *out is NULL. Allocates everything the stream needs; not
 * real-time safe. */
VORTIGEN_API vortigen_status vortigen_new(const char* effect, const char* preset,
                                          double sample_rate, int channels, int integer_scale,
                                          vortigen_instance** out);

/* Frees the instance and all it holds; NULL is ignored. Not real-time
 * safe. */
VORTIGEN_API void vortigen_free(vortigen_instance* instance);

/* Frames by which the output lags the input: the frame length - 1, fixed
 * for the instance. 0 for NULL. Real-time safe. */
VORTIGEN_API int vortigen_latency(const vortigen_instance* instance);

/* The instance's channel count; 0 for NULL. Real-time safe. */
VORTIGEN_API int vortigen_channels(const vortigen_instance* instance);

/* Processes `frames` frames (any number, 0 included) of planar audio:
 * in[c] and out[c] point at `frames` floats of channel c. out[c] may be
 * in[c] (in place), but must not otherwise overlap another buffer. The
 * output lags the input by vortigen_latency() frames. Real-time safe. */
VORTIGEN_API vortigen_status vortigen_process(vortigen_instance* instance, const float* const* in,
                                              float* const* out, size_t frames);

/* As vortigen_process, for interleaved frames (channel c of frame f at
 * [f * channels + c]). `out` may be `in`. Real-time safe. */
VORTIGEN_API vortigen_status vortigen_process_interleaved(vortigen_instance* instance,
                                                          const float* in, float* out,
                                                          size_t frames);

/* Ends the stream: writes exactly vortigen_latency() frames, the rest of
 * the output, into out[c] (planar) or out (interleaved). The output of
 * process over L frames followed by flush, without its first latency
 * frames, is the L processed frames aligned with the input. The instance
 * is then ready for a new stream, as after vortigen_reset. Real-time
 * safe. */
VORTIGEN_API vortigen_status vortigen_flush(vortigen_instance* instance, float* const* out);
VORTIGEN_API vortigen_status vortigen_flush_interleaved(vortigen_instance* instance, float* out);

/* Forgets the stream so far and starts a new one with the same curves.
 * NULL is ignored. Real-time safe. */
VORTIGEN_API void vortigen_reset(vortigen_instance* instance);

/* ---- Changing curves while streaming ---------------------------------- */

/* Prepares the tables of `preset` (as in vortigen_new) for instances of
 * `effect`. On success *out holds them, to be given to
 * vortigen_use_curves and freed with vortigen_curves_free; on failure
 * *out is NULL. Allocates; call it off the audio thread. */
VORTIGEN_API vortigen_status vortigen_curves_prepare(const char* effect, const char* preset,
                                                     vortigen_curves** out);

/* Frees prepared curves; NULL is ignored. Not real-time safe. */
VORTIGEN_API void vortigen_curves_free(vortigen_curves* curves);

/* Swaps the curves in *curves into the instance, from the next frame on,
 * without a break in the stream. On success *curves holds the instance's
 * previous curves, to be freed (or used again) off the audio thread.
 * Curves of another effect are refused (VORTIGEN_ERROR_CURVES) and both
 * sides are left as they were. Real-time safe. */
VORTIGEN_API vortigen_status vortigen_use_curves(vortigen_instance* instance,
                                                 vortigen_curves** curves);

#ifdef __cplusplus
}
#endif

#endif
