-- An object turning under a light, with a line of text.
--   zelv samples/scripts/turning.lua   (Escape or closing the window ends it)
-- Paths are relative to this file's folder: zelv runs a script from there.

ze.Setup(640, 480, 32, true)          -- a 640 by 480 window (true: windowed)
ze.ColorBackdrop(0x203040)            -- the clear colour, 0xRRGGBB

ze.LoadObject("../objects/gem.obj", 1) -- object ID 1
local radius = ze.GetObjectRadius(1)
ze.PositionCamera(0, 0, -3.5 * radius) -- the camera looks along +z at the origin

-- Setup made light 0, a directional light; ours start at ID 1.
ze.MakeLight(1)
ze.SetPointLight(1, -2 * radius, 2 * radius, -3 * radius)
ze.SetLightRange(1, 20 * radius)
ze.ColorLight(1, 0xFFE0C0)            -- a warm light from the upper left

ze.SetTextColor(0xFFFFFF)
while ze.Run() and not ze.EscapeKeyEverPressed() do
	local seconds = ze.Timer() / 1000
	ze.RotateObject(1, 20, seconds * 60, 0) -- degrees: 60 a second about y
	ze.Text(10, 10, "Zelv: a gem turning,", math.floor(seconds), "s")
	ze.Text(10, 30, "Escape ends the script")
	ze.Sync()                           -- draws the frame and shows it
end
