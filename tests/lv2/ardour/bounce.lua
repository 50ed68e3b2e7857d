-- Stage 3 of a render in Ardour: loads the session that session.lua made (its sources now hold
-- the take), and bounces each track's region through its processors up to the track's main
-- outputs, which is how Ardour renders a track offline. Ardour's bounce delays its reading by
-- the latency that the plug-ins report, so a plug-in's reported latency is compensated here.
-- Prints, per track: "track NAME latency SAMPLES" and one "file PATH" line per channel.
--
-- ardour7-lua bounce.lua DIR NAME
local dir, name = arg[1], arg[2]
local session = load_session(dir, name)
if not session then
  print("error: cannot load session " .. dir)
  os.exit(1)
end

for route in session:get_tracks():iter() do
  local track = route:to_track()
  local region
  for r in track:playlist():region_list():iter() do region = r end
  -- Region fades would shape the first and last 64 samples: the take must pass unchanged.
  local audio = region:to_audioregion()
  audio:set_fade_in_active(false)
  audio:set_fade_out_active(false)
  local plugin = track:nth_plugin(0)
  local latency = plugin:to_latent():effective_latency()
  local from = region:position():samples()
  local to = (region:position() + region:length()):samples()
  local bounced = track:bounce_range(from, to, ARDOUR.InterThreadInfo(), track:main_outs(), false,
                                     track:name() .. "-bounce", false)
  if bounced:isnil() then
    print("error: bounce failed on " .. track:name())
    os.exit(1)
  end
  print(string.format("track %s latency %d frames %d", track:name(), latency, bounced:length():samples()))
  for i = 0, bounced:to_audioregion():n_channels() - 1 do
    print("file " .. bounced:source(i):to_filesource():path())
  end
end
close_session()
