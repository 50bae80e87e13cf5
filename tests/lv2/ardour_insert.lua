-- Run by ardour7-lua (CTest Lv2Ardour.*): a session on the dummy backend,
-- a stereo track, the dynamic plug-in inserted with its built-in preset
-- "Hard Attack" (LV2 preset, so the preset port must read 9), and the
-- plug-in's latency reaching Ardour's latency compensation of the track.
-- Prints "vortigen-ardour: ok" when everything holds.
local dir = os.getenv("VORTIGEN_ARDOUR_SESSION")
assert(dir, "set VORTIGEN_ARDOUR_SESSION to an empty folder")
assert(not AudioEngine:set_backend("None (Dummy)", "", ""):isnil(), "no dummy backend")
AudioEngine:set_sample_rate(44100)
assert(AudioEngine:start(false) == 0, "the dummy backend does not start")
assert(create_session(dir, "vortigen", 44100), "no session created")
local track = Session:new_audio_track(2, 2, nil, 1, "Vortigen", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local plugin = ARDOUR.LuaAPI.new_plugin(Session, "https://vortigen.example/lv2/dynamic",
                                        ARDOUR.PluginType.LV2, "Hard Attack")
assert(not plugin:isnil(), "Ardour does not find the plug-in")
track:add_processor_by_index(plugin, 0, nil, true)
ARDOUR.LuaAPI.usleep(500000)  -- a few process cycles: Ardour updates latencies there
local preset = ARDOUR.LuaAPI.get_processor_param(plugin, 0, true)
local latency = plugin:signal_latency()
print("preset port", preset, "plug-in latency", latency, "track latency", track:signal_latency())
assert(preset == 9, "the preset did not set the preset port")
assert(latency == 1023, "Ardour does not see the latency the plug-in reports")
assert(track:signal_latency() >= latency, "the track does not compensate the plug-in's latency")
Session:save_state("", false, false, false, false, false)
close_session()
print("vortigen-ardour: ok")
