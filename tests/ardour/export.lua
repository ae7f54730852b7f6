-- Plays a WAV file through one plug-in in Ardour's headless Lua session and exports
-- the master bus, on the dummy backend:
--
--   ardour7-lua export.lua MODE WORKDIR INPUT FRAMES RATE BLOCK TEMPO PLUGIN OUTNAME [NAME=VALUE ...]
--
-- The export lands in WORKDIR/OUTNAME.wav as 32-bit float at RATE, FRAMES long. MODE:
--   vst     the session is made in WORKDIR/session (which must not exist yet), the
--           VST 2.x plug-in Ardour's scanner listed as PLUGIN added, set, the master
--           bus exported, the plug-in removed;
--   lv2     the same with the LV2 plug-in of URI PLUGIN, each setting handed to it in
--           a run of its own (so it hears them in their order: the solo switched on
--           last plays), and the session saved with the plug-in before the export;
--   reopen  the session an "lv2" run saved, copied to WORKDIR/session by the driver,
--           opened again and exported as it was saved (its plug-in's values checked).
-- Every NAME=VALUE sets that control (NAME its name, or its index among the plug-in's
-- controls for names a plug-in uses twice, as in `orvex render --set`) after the
-- plug-in is added; VALUE is normalised for VST 2.x, in the port's unit for LV2. The
-- driver reads the lines starting with "ardour:"; anything failing raises a Lua error,
-- which makes luasession exit non-zero.
--
-- The headless session has no way to import a file, so the session is made, saved
-- and closed, then its file gets the input as an embedded source with one region at
-- 0, and it is opened again.

local function say(...)
    local words = {}
    for _, word in ipairs({ ... }) do words[#words + 1] = tostring(word) end
    print("ardour: " .. table.concat(words, " "))
    io.stdout:flush()
end

local mode, workdir, input, frames, rate, block, tempo, plugin_name, outname =
    arg[1], arg[2], arg[3], tonumber(arg[4]), tonumber(arg[5]), tonumber(arg[6]), tonumber(arg[7]), arg[8], arg[9]
assert((mode == "vst" or mode == "lv2" or mode == "reopen") and workdir and input and frames and rate and block
    and tempo and plugin_name and outname,
    "usage: export.lua vst|lv2|reopen WORKDIR INPUT FRAMES RATE BLOCK TEMPO PLUGIN OUTNAME [NAME=VALUE ...]")
local settings = {}
for i = 10, #arg do
    local name, value = arg[i]:match("^(.-)=(.*)$")
    assert(name and tonumber(value), "a setting is NAME=VALUE, not " .. arg[i])
    settings[#settings + 1] = { name = name, value = tonumber(value) }
end

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(backend, "no dummy backend")
-- "Silence" feeds zeros to the track inputs, so nothing but the region reaches the plug-in.
assert(backend:set_device_name("Silence") == 0, "the dummy backend has no Silence device")
assert(backend:set_sample_rate(rate) == 0, "the dummy backend refuses " .. rate .. " Hz")
assert(backend:set_buffer_size(block) == 0, "the dummy backend refuses blocks of " .. block)
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
say("engine", backend:sample_rate(), backend:buffer_size())

local sessiondir = workdir .. "/session"
local name = "orvex"

-- First the session with one stereo track, as Ardour writes it.
if mode ~= "reopen" then
    local session = create_session(sessiondir, name, rate)
    assert(session, "cannot create a session in " .. sessiondir)
    local tracks = session:new_audio_track(2, 2, nil, 1, "In", ARDOUR.PresentationInfo.max_order,
        ARDOUR.TrackMode.Normal, true)
    assert(tracks:size() == 1, "no track")
    tracks = nil
    session:save_state("", false, false, false, false, false)
    session = nil
    close_session()
end

-- Then the input as a region of that track, and the tempo.
if mode ~= "reopen" then
    local path = sessiondir .. "/" .. name .. ".ardour"
    local file = assert(io.open(path))
    local xml = file:read("a")
    file:close()
    -- Ardour 7 counts time in superclock ticks (282240000 a second) with an "a" for
    -- audio time.
    assert(282240000 % rate == 0, rate .. " Hz is no whole number of superclock ticks")
    local length = "a" .. math.tointeger(frames * (282240000 // rate))
    local sources = ""
    for channel = 0, 1 do
        sources = sources .. string.format(
            '<Source name="%s" type="audio" flags="" id="%d" natural-position="a0" captured-for="" '
            .. 'channel="%d" origin="" gain="1"/>', input, 90001 + channel, channel)
    end
    -- No fades (a region has 64-sample ones by default) and unity gain: the plug-in
    -- gets the samples of the file.
    local region = string.format(
        '<Region name="input" muted="0" opaque="1" locked="0" video-locked="0" automatic="0" whole-file="0" '
        .. 'import="0" external="1" sync-marked="0" left-of-split="0" right-of-split="0" hidden="0" '
        .. 'position-locked="0" valid-transients="0" start="a0" length="%s@a0" sync-position="a0" '
        .. 'ancestral-start="a0" ancestral-length="a0@a0" stretch="1" shift="1" layering-index="0" tags="" '
        .. 'contents="0" envelope-active="0" default-fade-in="0" default-fade-out="0" fade-in-active="0" '
        .. 'fade-out-active="0" scale-amplitude="1" id="90003" type="audio" first-edit="nothing" '
        .. 'source-0="90001" source-1="90002" master-source-0="90001" master-source-1="90002" channels="2"/>',
        length)
    local count
    xml, count = xml:gsub("<Sources/>", function() return "<Sources>" .. sources .. "</Sources>" end, 1)
    assert(count == 1, "no empty <Sources/> in the new session")
    xml, count = xml:gsub('(<Playlist [^>]*)/>', function(open) return open .. ">" .. region .. "</Playlist>" end, 1)
    assert(count == 1, "no empty playlist in the new session")
    xml, count = xml:gsub('(<Tempo npm=")[^"]*(" enpm=")[^"]*(")', function(a, b, c)
        return a .. tempo .. b .. tempo .. c
    end, 1)
    assert(count == 1, "no tempo in the new session")
    file = assert(io.open(path, "w"))
    file:write(xml)
    file:close()
end

local function export()
    local session = load_session(sessiondir, name)
    assert(session, "cannot load the session again")
    local track = session:route_by_name("In"):to_track()
    assert(not track:isnil(), "no track after loading")
    assert(track:playlist():n_regions() == 1, "the region did not load")
    local bpm = Temporal.TempoMap.read():quarters_per_minute_at(Temporal.timepos_t(0))
    assert(math.abs(bpm - tempo) < 1e-9, "tempo " .. bpm .. " instead of " .. tempo)
    say("session", session:nominal_sample_rate(), bpm)

    -- New tracks are connected to the master bus by a thread of their own, which may
    -- not have run before the first save: connect them here, or the export is silent.
    local outputs, master = track:output(), session:master_out():input()
    for channel = 0, 1 do
        local from, to = outputs:audio(channel), master:audio(channel)
        if not from:connected_to(to:name()) then from:connect(to:name()) end
        assert(from:connected_to(to:name()), "cannot connect " .. from:name() .. " to " .. to:name())
    end

    local processor
    if mode == "reopen" then
        processor = track:nth_plugin(0)
        assert(not processor:isnil() and processor:to_insert():plugin(0):unique_id() == plugin_name,
            "the session did not bring back " .. plugin_name)
    else
        local kind = mode == "vst" and ARDOUR.PluginType.LXVST or ARDOUR.PluginType.LV2
        processor = ARDOUR.LuaAPI.new_plugin(session, plugin_name, kind, "")
        assert(not processor:isnil(), "Ardour has no " .. mode .. " plug-in \"" .. plugin_name .. "\"")
        assert(track:add_processor_by_index(processor, 0, nil, true) == 0, "cannot add the plug-in to the track")
    end
    local plugin = processor:to_insert():plugin(0)
    say("plugin", plugin:name(), plugin:parameter_count())
    -- The presets the plug-in's bundle lists (one label a line in ORVEX_PRESETS), each
    -- offered by Ardour under its name.
    for label in (os.getenv("ORVEX_PRESETS") or ""):gmatch("[^\n]+") do
        local preset = plugin:preset_by_label(label)
        assert(preset and preset.valid and preset.label == label, "Ardour does not offer the preset \"" .. label .. "\"")
        say("preset", label, preset.uri)
    end
    for _, setting in ipairs(settings) do
        -- The index among the controls, which is what set_processor_param takes (an LV2
        -- plug-in's parameters count its audio ports too).
        local index, control = tonumber(setting.name), 0
        for i = 0, plugin:parameter_count() - 1 do
            if index then break end
            if plugin:parameter_is_control(i) and plugin:parameter_is_input(i) then
                if plugin:parameter_label(i) == setting.name then index = control end
                control = control + 1
            end
        end
        assert(index, "no parameter " .. setting.name)
        if mode ~= "reopen" then
            assert(ARDOUR.LuaAPI.set_processor_param(processor, index, setting.value), "cannot set " .. setting.name)
            -- An LV2 plug-in reads its ports at its next run: let the engine run a few
            -- blocks, so the next setting comes after this one.
            if mode == "lv2" then ARDOUR.LuaAPI.usleep(100000) end
        end
        local value = ARDOUR.LuaAPI.get_processor_param(processor, index)
        -- A port holds what it was set to (a float), reopened too.
        assert(mode == "vst" or math.abs(value - setting.value) <= 1e-6 * math.max(1, math.abs(setting.value)),
            setting.name .. " is " .. value .. ", not " .. setting.value)
        say("set", setting.name, value)
    end
    if mode == "lv2" then
        -- Saved as it plays, for a "reopen" run; before the export, after which Ardour
        -- 7.3 now and then finds its heap broken when it saves (the export's port
        -- channels, below).
        assert(session:save_state("", false, false, false, false, false) == 0, "cannot save the session")
        say("saved")
    end

    -- The transport is parked away from the export's start while nothing plays, so
    -- that the song position moves when the export's pre-roll begins there: the LFOs
    -- lock then and the pan gains have settled by the first exported sample, whatever
    -- the set-up did before (without it the exports differ by the gains' glide in
    -- from the free run, 1.7e-22 in the silent lead).
    local away = 10 * rate
    session:request_locate(away, false, ARDOUR.LocateTransportDisposition.MustStop,
        ARDOUR.TransportRequestSource.TRS_UI)
    for _ = 1, 200 do
        if session:transport_sample() == away then break end
        ARDOUR.LuaAPI.usleep(10000)
    end
    assert(session:transport_sample() == away, "the transport did not move to " .. away)

    local job = session:simple_export()
    -- The preset the driver put into the configuration folder: WAV, 32-bit float at
    -- the session rate, no dither, no normalising, no broadcast chunk.
    assert(job:set_preset("6f1d63c2-4b1e-4a58-9d0e-0d8f3f0a5a01"), "the export preset is missing")
    job:set_folder(workdir)
    job:set_name(outname)
    job:set_range(0, frames)
    assert(job:check_outputs(), "the master bus has no outputs to export")
    assert(job:run_export(), "the export failed")
    say("exported", workdir .. "/" .. outname .. ".wav")

    -- The plug-in goes the way it goes when a user removes it: deactivated, closed
    -- and deleted.
    assert(track:remove_processor(processor, nil, true) == 0, "cannot remove the plug-in")
    return job
end

-- The export job stays referenced: when it is collected, or when the session it
-- belongs to is closed, Ardour 7.3 now and then frees its port channels twice and
-- crashes. Everything else of the session is let go, which deletes the plug-in.
job = export()
collectgarbage()
collectgarbage()
say("closed")
-- Leaves without closing the session or the Lua state, for the same reason.
os.exit(0)
