-- Images and 2D drawing: boxes, lines, text, pasted images and an image
-- that an object is rendered into.
--   zelv samples/scripts/drawing.lua   (Escape or closing the window ends it)
-- Paths are relative to this file's folder: zelv runs a script from there.

ze.Setup(640, 480, 32, true)
ze.ColorBackdrop(0x102030)
ze.FadeIn(500, 0x000000)               -- half a second from black

ze.LoadImage("../scenes/images/tiles.png", 1) -- a 64 by 64 checkerboard
ze.MakeImage(160, 120, 2)              -- an image the scene renders into

ze.LoadObject("../objects/gem.obj", 1)
ze.PositionCamera(0, 0, -4)

while ze.Run() and not ze.EscapeKeyEverPressed() do
	local seconds = ze.Timer() / 1000

	-- The gem is drawn into image 2 only, not into the frame.
	ze.ShowObject(1)
	ze.RotateObject(1, 0, seconds * 90, 0)
	ze.RenderToImage(2)                 -- cleared first
	ze.HideObject(1)

	ze.Ink(0xFF4020)                    -- boxes and lines take the ink colour
	ze.InkAlpha(255)
	ze.Box(20, 60, 220, 160)
	ze.Ink(0x40FF40)
	ze.Line(20, 200, 620, 200)
	ze.InkAlpha(128)                    -- half see-through
	ze.Box(120, 110, 320, 260)

	ze.SetImageAlpha(255)
	ze.PasteImage(1, 360, 60)           -- natural size
	ze.PasteImageStretch(1, 440, 60, 620, 160)
	ze.PasteImage(2, 20, 300)           -- the rendered gem

	ze.SetTextColor(0xFFFF80)
	ze.Text(10, 10, "2D drawing:", ze.ScreenWidth(), "x", ze.ScreenHeight(), "- 100% queued text")
	ze.Sync()
end
