-- Stage 1 of a render in Ardour, run by ardour7-lua (Ardour's headless Lua session host):
-- creates a session on the Dummy backend with one four-channel track per plug-in, records a
-- short silent take on every track so that Ardour writes its own sources, regions and
-- playlists (ardour7-lua has no import: the caller then overwrites those sources with the
-- take and sets the region lengths), inserts each plug-in and sets its parameters, saves.
--
-- ardour7-lua session.lua DIR NAME RATE TRACK...
--   TRACK: "NAME|TYPE|ID|INDEX=VALUE|INDEX=VALUE..." with TYPE LV2 (ID the plug-in's URI) or
--   LXVST (ID its name or unique ID); INDEX counts the plug-in's control inputs from 0, VALUE in
--   the plug-in's own terms (normalised for VST 2.4, the port's unit for LV2).
local dir, name, rate = arg[1], arg[2], tonumber(arg[3])
assert(dir and name and rate, "usage: session.lua DIR NAME RATE TRACK...")

local function fail(text)
  print("error: " .. text)
  os.exit(1)
end

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
if not backend then fail("no Dummy backend") end
-- Silence on the capture ports: the seed take only has to exist.
backend:set_device_name("Silence")

local session = create_session(dir, name, rate)
if not session then fail("cannot create session " .. dir) end

local types = { LV2 = ARDOUR.PluginType.LV2, LXVST = ARDOUR.PluginType.LXVST }
local tracks = {}
for i = 4, #arg do
  local fields = {}
  for field in arg[i]:gmatch("[^|]+") do fields[#fields + 1] = field end
  local trackName, typeName, id = fields[1], fields[2], fields[3]
  local pluginType = types[typeName]
  if not pluginType then fail("unknown plug-in type " .. tostring(typeName)) end
  local track = session:new_audio_track(4, 4, nil, 1, trackName, ARDOUR.PresentationInfo.max_order,
                                        ARDOUR.TrackMode.Normal, true):front()
  if track:isnil() then fail("cannot add track " .. trackName) end
  local plugin = ARDOUR.LuaAPI.new_plugin(session, id, pluginType, "")
  if plugin:isnil() then fail("plug-in not found: " .. typeName .. " " .. id) end
  if track:add_processor_by_index(plugin, 0, nil, true) ~= 0 then fail("cannot insert " .. id) end
  local insert = plugin:to_insert()
  local ins, outs = insert:natural_input_streams():n_audio(), insert:natural_output_streams():n_audio()
  -- A plug-in with other than four inputs and outputs would be replicated or mapped by Ardour;
  -- the comparison is only meaningful for one instance over the four channels.
  if ins ~= 4 or outs ~= 4 or insert:get_count() ~= 1 then
    fail(string.format("%s: %d in, %d out, %d instances", id, ins, outs, insert:get_count()))
  end
  for f = 4, #fields do
    local index, value = fields[f]:match("^(%d+)=(.+)$")
    if not index then fail("bad parameter " .. fields[f]) end
    if not ARDOUR.LuaAPI.set_processor_param(plugin, tonumber(index), tonumber(value)) then
      fail("cannot set parameter " .. index .. " of " .. id)
    end
  end
  track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
  tracks[#tracks + 1] = track
  print(string.format("track %s plugin %s", trackName, insert:plugin(0):name()))
end

session:maybe_enable_record(false)
session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
sleep(0.5)
session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
sleep(0.5)
session:disable_record(false, false)
for _, track in ipairs(tracks) do
  track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
  if track:playlist():n_regions() ~= 1 then fail("no seed take on " .. track:name()) end
end
session:save_state("", false, false, false, false, false)
close_session()
print("saved")
