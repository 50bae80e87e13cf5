"""vortigen: the dynamic and fourier spectral effects on numpy arrays.

A thin layer over libvortigen's C interface, loaded with ctypes:

    import vortigen
    out = vortigen.apply("dynamic", audio, 44100, preset="Hard Attack")

`audio` is 1-D (mono) or 2-D with the channels on its shorter axis
(channels-first or channels-last, as the array is), float32, float64 or
int16; the result has the input's shape and dtype, aligned with it (the
effect's latency removed). int16 results are rounded and clipped as the
`vortigen` tool writes 16-bit files, so they equal its output.

`Effect` streams block by block, `presets`, `curve_names` and `effects`
list what the library knows. The library runs without the GIL, so several
threads process several arrays at once.

The library is found through $VORTIGEN_LIBRARY, then beside this package,
then as libvortigen.so.1 on the loader's search path.
"""

import ctypes
import os
import threading

import numpy as np

__all__ = ["apply", "Effect", "VortigenError", "effects", "presets", "preset_text",
           "curve_names", "library_version"]


class VortigenError(ValueError):
    """A call the library refused; `status` is its vortigen_status."""

    def __init__(self, message, status):
        super().__init__(message)
        self.status = status


def _load_library():
    names = []
    if os.environ.get("VORTIGEN_LIBRARY"):
        names.append(os.environ["VORTIGEN_LIBRARY"])
    names.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "libvortigen.so.1"))
    names.append("libvortigen.so.1")
    reasons = []
    for name in names:
        try:
            return ctypes.CDLL(name)
        except OSError as error:
            reasons.append(str(error))
    raise ImportError("libvortigen.so.1 cannot be loaded (" + "; ".join(reasons) +
                      "); install libvortigen or set VORTIGEN_LIBRARY to the library's path")


_lib = _load_library()
_c = ctypes
_pointer = _c.c_void_p
_prototypes = {
    "vortigen_version": (_c.c_char_p, []),
    "vortigen_last_error": (_c.c_char_p, []),
    "vortigen_effect_count": (_c.c_int, []),
    "vortigen_effect_name": (_c.c_char_p, [_c.c_int]),
    "vortigen_curve_count": (_c.c_int, [_c.c_char_p]),
    "vortigen_curve_name": (_c.c_char_p, [_c.c_char_p, _c.c_int]),
    "vortigen_preset_count": (_c.c_int, [_c.c_char_p]),
    "vortigen_preset_name": (_c.c_char_p, [_c.c_char_p, _c.c_int]),
    "vortigen_preset_text": (_c.c_char_p, [_c.c_char_p, _c.c_int]),
    "vortigen_new": (_c.c_int, [_c.c_char_p, _c.c_char_p, _c.c_double, _c.c_int, _c.c_int,
                                _c.POINTER(_pointer)]),
    "vortigen_free": (None, [_pointer]),
    "vortigen_latency": (_c.c_int, [_pointer]),
    "vortigen_process": (_c.c_int, [_pointer, _pointer, _pointer, _c.c_size_t]),
    "vortigen_flush": (_c.c_int, [_pointer, _pointer]),
    "vortigen_reset": (None, [_pointer]),
    "vortigen_curves_prepare": (_c.c_int, [_c.c_char_p, _c.c_char_p, _c.POINTER(_pointer)]),
    "vortigen_curves_free": (None, [_pointer]),
    "vortigen_use_curves": (_c.c_int, [_pointer, _c.POINTER(_pointer)]),
}
for _name, (_result, _arguments) in _prototypes.items():
    _function = getattr(_lib, _name)
    _function.restype = _result
    _function.argtypes = _arguments

if not _lib.vortigen_version().decode().startswith("1."):
    raise ImportError("libvortigen " + _lib.vortigen_version().decode() +
                      " is not of version 1, which this module speaks")


def _check(status):
    if status != 0:
        raise VortigenError(_lib.vortigen_last_error().decode(errors="replace"), status)


def _text(value, what):
    if not isinstance(value, str):
        raise TypeError(what + " must be a str, not " + type(value).__name__)
    return value.encode()


def _listed(count, item):
    if count < 0:
        raise VortigenError(_lib.vortigen_last_error().decode(errors="replace"), 2)
    return [item(i).decode() for i in range(count)]


def library_version():
    """The loaded libvortigen's version, "1.0.0"."""
    return _lib.vortigen_version().decode()


def effects():
    """The effects' names: ["dynamic", "fourier"]."""
    return _listed(_lib.vortigen_effect_count(), _lib.vortigen_effect_name)


def curve_names(effect):
    """The effect's curves in preset order: ["attack", "release", "chaos"] or ["transfer"]."""
    name = _text(effect, "effect")
    return _listed(_lib.vortigen_curve_count(name), lambda i: _lib.vortigen_curve_name(name, i))


def presets(effect):
    """The names of the effect's built-in presets, in the plug-in's order."""
    name = _text(effect, "effect")
    return _listed(_lib.vortigen_preset_count(name), lambda i: _lib.vortigen_preset_name(name, i))


def preset_text(effect, preset):
    """A built-in preset as the plug-ins store it: "Hard Attack,3,2,0,12375,..."."""
    name = _text(effect, "effect")
    for i, known in enumerate(presets(effect)):
        if known.lower() == preset.lower():
            return _lib.vortigen_preset_text(name, i).decode()
    raise VortigenError("'%s' is no built-in preset of %s; they are %s" %
                        (preset, effect, ", ".join(presets(effect))), 3)


def _points_of_text(text, count):
    """The point lists of a preset text "Name,3,n,x,y,...", one per curve."""
    fields = text.split(",")
    values = [int(v) for v in fields[2:]]
    curves, at = [], 0
    for _ in range(count):
        n = values[at]
        curves.append([(values[at + 1 + 2 * i], values[at + 2 + 2 * i]) for i in range(n)])
        at += 1 + 2 * n
    return curves


def _preset_argument(effect, preset, curves):
    """The preset argument of the C interface for a preset (name or text)
    and a dict of point lists that replace the curves it names."""
    if curves is None:
        return None if preset is None else _text(preset, "preset")
    if not isinstance(curves, dict):
        raise TypeError("curves must be a dict of point lists, such as "
                        "{'chaos': [(0, 3834), (16384, 3834)]}")
    names = curve_names(effect)
    unknown = sorted(set(curves) - set(names))
    if unknown:
        raise ValueError("%s has no curve %s; its curves are %s" %
                         (effect, ", ".join(map(str, unknown)), ", ".join(names)))
    if preset is None:
        missing = [n for n in names if n not in curves]
        if missing:
            raise ValueError("the curves %s are not given; give every curve of %s (%s) or a "
                             "preset for the others" % (", ".join(missing), effect, ", ".join(names)))
        base = [None] * len(names)
    else:
        text = preset if "," in preset else preset_text(effect, preset)
        base = _points_of_text(text, len(names))
    fields = ["Custom", "3"]
    for index, name in enumerate(names):
        points = curves.get(name, base[index])
        try:
            pairs = [(int(x), int(y)) for x, y in points]
        except (TypeError, ValueError):
            raise ValueError("the %s curve must be a list of (x, y) pairs of integers 0..16384"
                             % name) from None
        fields.append(str(len(pairs)))
        for x, y in pairs:
            fields += [str(x), str(y)]
    return ",".join(fields).encode()


def _planes_pointers(planar):
    """A C array of pointers to the rows of a C-contiguous 2-D float32 array."""
    rows = planar.shape[0]
    addresses = planar.ctypes.data + planar.strides[0] * np.arange(rows, dtype=np.uintp)
    return np.ascontiguousarray(addresses, dtype=np.uintp)


class Effect:
    """One effect on one stream, block by block.

    Effect(effect, sample_rate, channels, preset=None, curves=None, integer_scale=32768)

    process(block) takes float frames, 1-D for one channel or 2-D with
    `channels` channels on either axis (the axis of that length; the last
    if both are), and returns float32 frames of the same shape lagging the
    input by `latency` frames. flush() returns the last `latency` frames
    (channels-last, or as the last block was) and starts a new stream.
    """

    def __init__(self, effect, sample_rate, channels, preset=None, curves=None,
                 integer_scale=32768):
        # One call into the instance at a time: the library runs without the
        # GIL, and another thread's close() must not free the instance under
        # a running process().
        self._busy = threading.Lock()
        handle = _pointer()
        _check(_lib.vortigen_new(_text(effect, "effect"), _preset_argument(effect, preset, curves),
                                 float(sample_rate), int(channels), int(integer_scale),
                                 ctypes.byref(handle)))
        self._handle = handle
        self.effect = effect
        self.sample_rate = sample_rate
        self.channels = int(channels)
        self.latency = _lib.vortigen_latency(handle)
        self._last_layout = None if self.channels == 1 else False  # channels-last

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def __del__(self):
        self.close()

    def close(self):
        """Frees the library's instance; the object cannot be used after it."""
        if getattr(self, "_handle", None) is None:
            return
        with self._busy:
            if self._handle:
                _lib.vortigen_free(self._handle)
                self._handle = None

    def _live(self):
        if not self._handle:
            raise ValueError("the effect has been closed")
        return self._handle

    def _layout(self, block):
        """The block as planes (channels, frames), and whether it came channels-first."""
        array = np.asarray(block)
        if array.dtype.kind not in "fiu":
            raise TypeError("audio must be a numeric array, not " + str(array.dtype))
        if array.ndim == 1:
            if self.channels != 1:
                raise ValueError("a 1-D block holds one channel; this effect takes %d"
                                 % self.channels)
            return np.ascontiguousarray(array[np.newaxis, :], dtype=np.float32), None
        if array.ndim != 2:
            raise ValueError("audio must be 1-D or 2-D, not %d-D" % array.ndim)
        if array.shape[1] == self.channels:
            return np.ascontiguousarray(array.T, dtype=np.float32), False
        if array.shape[0] == self.channels:
            return np.ascontiguousarray(array, dtype=np.float32), True
        raise ValueError("a block of shape %s has no axis of %d channels"
                         % (array.shape, self.channels))

    def _process_planes(self, planes, out):
        """planes into out, both (channels, frames) with contiguous rows."""
        # The pointer arrays are held in locals for the length of the call.
        into, outof = _planes_pointers(planes), _planes_pointers(out)
        with self._busy:
            _check(_lib.vortigen_process(self._live(), into.ctypes.data, outof.ctypes.data,
                                         planes.shape[1]))

    def _flush_planes(self, out):
        pointers = _planes_pointers(out)
        with self._busy:
            _check(_lib.vortigen_flush(self._live(), pointers.ctypes.data))

    @staticmethod
    def _as_block(planes, channels_first):
        if channels_first is None:
            return planes[0]
        return planes if channels_first else planes.T

    def process(self, block):
        """The block's output, float32, of the block's shape."""
        planes, channels_first = self._layout(block)
        out = np.empty_like(planes)
        self._process_planes(planes, out)
        self._last_layout = channels_first
        return self._as_block(out, channels_first)

    def flush(self):
        """The last `latency` frames; the next block starts a new stream."""
        out = np.empty((self.channels, self.latency), dtype=np.float32)
        self._flush_planes(out)
        return self._as_block(out, self._last_layout)

    def reset(self):
        """Forgets the stream so far; the curves stay."""
        with self._busy:
            _lib.vortigen_reset(self._live())

    def set_curves(self, preset=None, curves=None):
        """New curves from the next frame on, without a break in the stream."""
        prepared = _pointer()
        _check(_lib.vortigen_curves_prepare(_text(self.effect, "effect"),
                                            _preset_argument(self.effect, preset, curves),
                                            ctypes.byref(prepared)))
        try:
            with self._busy:
                _check(_lib.vortigen_use_curves(self._live(), ctypes.byref(prepared)))
        finally:
            _lib.vortigen_curves_free(prepared)  # the previous curves, or the refused ones


def _planes_of(array, channels_first):
    """The samples as float32 planes (channels, frames) with contiguous rows,
    in one pass: floats as they are, int16 over 32768 (as sound files are
    read)."""
    if array.dtype not in (np.float32, np.float64, np.int16):
        raise TypeError("audio must be float32, float64 or int16, not " + str(array.dtype))
    view = array[np.newaxis, :] if array.ndim == 1 else array if channels_first else array.T
    planes = np.empty(view.shape, dtype=np.float32)
    if array.dtype == np.int16:
        np.multiply(view, np.float32(1.0 / 32768.0), out=planes)  # a power of two: exact
    else:
        planes[...] = view
    return planes


def _output_of(values, dtype):
    """Output in the input's dtype, C-contiguous; int16 rounded to nearest
    (ties to even) and clipped to -32767..32767 as the plug-ins clip, NaN as
    silence."""
    if dtype != np.int16:
        return values.astype(dtype, order="C")
    scaled = values * np.float32(32768.0)  # a power of two: exact in float32
    np.rint(scaled, out=scaled)
    np.clip(scaled, -32767.0, 32767.0, out=scaled)
    scaled[np.isnan(scaled)] = 0.0
    return scaled.astype(np.int16, order="C")


def apply(effect, audio, sample_rate, preset=None, curves=None, integer_scale=32768,
          channels_first=None):
    """The effect applied to a whole array, aligned with it.

    audio: 1-D (mono) or 2-D, float32, float64 or int16. A 2-D array has
    its channels on its shorter axis unless channels_first says which.
    preset: a built-in preset's name or a preset text; curves: a dict of
    point lists by curve name, replacing the preset's (or, without a
    preset, giving every curve). Returns an array of the input's shape and
    dtype.
    """
    array = np.asarray(audio)
    if array.ndim not in (1, 2):
        raise ValueError("audio must be 1-D or 2-D, not %d-D" % array.ndim)
    if array.ndim == 2 and channels_first is None:
        # Channels on the shorter axis; of an empty array, on the other.
        rows, columns = array.shape
        channels_first = columns == 0 if 0 in (rows, columns) else rows < columns
    planes = _planes_of(array, channels_first)
    channels, frames = planes.shape
    with Effect(effect, sample_rate, channels, preset, curves, integer_scale) as instance:
        latency = instance.latency
        # One call over the whole array (the GIL released for it), then the
        # flush into the latency frames after it.
        out = np.empty((channels, frames + latency), dtype=np.float32)
        if frames:
            instance._process_planes(planes, out[:, :frames])
        instance._flush_planes(out[:, frames:])
    aligned = out[:, latency:]
    if array.ndim == 1:
        aligned = aligned[0]
    elif not channels_first:
        aligned = aligned.T
    return _output_of(aligned, array.dtype)
