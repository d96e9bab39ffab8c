-- A scene loaded and played in time with music.
--   zelv samples/scripts/scene.lua   (Escape or closing the window ends it)
-- Paths are relative to this file's folder: zelv runs a script from there.

ze.Setup(640, 480, 32, true)

-- Called while the scene builds its objects.
ze.SetLoadSceneCallback(function(percent)
	print(string.format("loading the scene: %d%%", percent))
end)

-- A scene names its files relative to the folder it is opened from.
ze.SetDir("../scenes")
-- Scene slot 1; every kind of item takes IDs from 1 upwards (light 0 is
-- Setup's own), no shared objects.
ze.LoadScene("showcase.zscn", 1, 1, 1, 1, 1, 1, 1, 1, false, "")
print("objects:", ze.SceneTotalObjects(1), "lights:", ze.SceneTotalLights(1),
	"emitters:", ze.SceneTotalFxEmitters(1))

ze.LoadMusic("../music/tone.mp3", 1)
ze.PrepareSceneRender(1)              -- cube maps captured before the first frame
ze.ShowScene(1)

local length = ze.SceneAnimTimeEnd(1) -- milliseconds
local start = ze.Timer()
local lastTime = length
while ze.Run() and not ze.EscapeKeyEverPressed() do
	local t = (ze.Timer() - start) % length
	if t < lastTime then
		ze.PlayMusic(1)                 -- from the start, each time the scene starts again
	end
	lastTime = t
	ze.AnimateScene(1, t)
	ze.Text(10, 10, "scene at", t, "ms of", length, "- music at", ze.GetMusicPosition(1), "ms")
	ze.Sync()
end
