ardour {
	["type"]    = "dsp",
	name        = "Sonquad Test Delay",
	category    = "Utility",
	license     = "MIT",
	author      = "Sonquad tests",
	description = [[Delays four channels by 1024 samples and reports the delay as its latency:
a plug-in of known latency that shows whether a render compensates what a plug-in reports.]]
}

local delay = 1024
local lines, position

function dsp_ioconfig ()
	return { { audio_in = 4, audio_out = 4 } }
end

function dsp_init (rate)
	lines = {}
	for c = 1, 4 do
		lines[c] = {}
		for i = 1, delay do lines[c][i] = 0 end
	end
	position = 1
end

function dsp_latency ()
	return delay
end

function dsp_run (ins, outs, n_samples)
	for c = 1, 4 do
		local input, output, line = ins[c]:array (), outs[c]:array (), lines[c]
		local p = position
		for i = 1, n_samples do
			-- Read the input before writing: Ardour may hand the same buffer as input and output.
			local x = input[i]
			output[i] = line[p]
			line[p] = x
			p = p % delay + 1
		end
	end
	position = (position + n_samples - 1) % delay + 1
end
