// The dialogs of the system layer: the set-up dialog, the open-file requester
// and message boxes. They are Irrlicht GUI dialogs run in a modal loop, in the
// engine window when the engine is set up, otherwise in a small window of their
// own that is gone again before they return. In batch mode none of them waits.
#include "frame/ZeDialogs.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeInput.h"
#include "frame/ZeLog.h"
#include "frame/ZeSanitizer.h"
#include "frame/ZeSignals.h"
#include "frame/ZeWindow.h"
#include "frame/ZeWindowPlatform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace irr;

namespace
{
const int TEXT_SIZE = 1024;
const int PATH_SIZE = 260;

// A dialog or box is up; another one asked for meanwhile is only logged.
bool g_modalActive = false;

struct SModalGuard
{
	SModalGuard() { g_modalActive = true; }
	~SModalGuard() { g_modalActive = false; }
	SModalGuard(const SModalGuard&) = delete;
	SModalGuard& operator=(const SModalGuard&) = delete;
};

// ---- Text ---------------------------------------------------------------------
// UTF-8 to the GUI's wide characters; a byte that does not start a valid
// sequence stands for itself (Latin-1).
core::stringw toWide(const char* text)
{
	core::stringw out;
	const unsigned char* s = reinterpret_cast<const unsigned char*>(text ? text : "");
	while (*s)
	{
		unsigned int code = *s;
		int extra = 0;
		if (code >= 0xC2 && code < 0xE0)
			extra = 1, code &= 0x1F;
		else if (code >= 0xE0 && code < 0xF0)
			extra = 2, code &= 0x0F;
		else if (code >= 0xF0 && code < 0xF5)
			extra = 3, code &= 0x07;
		int n = 0;
		while (n < extra && (s[n + 1] & 0xC0) == 0x80)
			++n;
		if (n < extra)
		{
			out.append(static_cast<wchar_t>(*s++));
			continue;
		}
		for (int i = 1; i <= extra; ++i)
			code = (code << 6) | (s[i] & 0x3F);
		out.append(static_cast<wchar_t>(code));
		s += extra + 1;
	}
	return out;
}

// ---- Modal loop -----------------------------------------------------------------
enum EOutcome
{
	EO_PENDING,
	EO_CONFIRMED,
	EO_CANCELLED
};

// Ends a dialog on Return (when it confirms) or Escape; key presses that end it
// never reach the engine. Host events (frame numbers) still go to the engine's
// receiver while the dialog is up.
class CModalReceiver : public IEventReceiver
{
public:
	CModalReceiver(IEventReceiver* engine, bool returnConfirms) : Engine(engine), ReturnConfirms(returnConfirms) {}

	bool OnEvent(const SEvent& event) override
	{
		if (event.EventType == EET_LOG_TEXT_EVENT)
		{
			zeLogDeviceLine(event.LogEvent.Level, event.LogEvent.Text);
			return true;
		}
		if (event.EventType == EET_USER_EVENT)
			return Engine ? Engine->OnEvent(event) : false;
		if (Outcome != EO_PENDING)
			return event.EventType == EET_KEY_INPUT_EVENT || event.EventType == EET_MOUSE_INPUT_EVENT;
		if (event.EventType == EET_KEY_INPUT_EVENT && event.KeyInput.PressedDown)
		{
			if (event.KeyInput.Key == KEY_ESCAPE)
			{
				Outcome = EO_CANCELLED;
				return true;
			}
			if (event.KeyInput.Key == KEY_RETURN && ReturnConfirms)
			{
				Outcome = EO_CONFIRMED;
				return true;
			}
		}
		if (event.EventType == EET_GUI_EVENT)
			return onGui(event.GUIEvent);
		return false;
	}

	EOutcome Outcome = EO_PENDING;

protected:
	virtual bool onGui(const SEvent::SGUIEvent&) { return false; }

private:
	IEventReceiver* Engine;
	bool ReturnConfirms;
};

// Draws the GUI until the dialog ends. A device that closes, a `dialog` that
// took itself away without saying how, or a termination request (SIGTERM,
// SIGINT: the request stays, so the frame loop ends next as on a close)
// cancels it; a message box counts as answered then.
void runModal(IrrlichtDevice* device, const video::SColor& background, CModalReceiver& receiver,
	const gui::IGUIElement* dialog = nullptr)
{
	video::IVideoDriver* driver = device->getVideoDriver();
	gui::IGUIEnvironment* gui = device->getGUIEnvironment();
	while (receiver.Outcome == EO_PENDING && !zeTerminationRequested() && device->run() &&
		(!dialog || dialog->getParent()))
	{
		if (driver->beginScene(true, true, background))
		{
			gui->drawAll();
			driver->endScene();
		}
		// No vertical sync in a dialog: do not spin.
		device->sleep(10);
	}
	if (receiver.Outcome == EO_PENDING)
		receiver.Outcome = EO_CANCELLED;
}

// Takes a dialog off the GUI for good. The GUI holds its focused and its
// hovered element apart from the tree: both leave the dialog while it is still
// in the tree, so that no later key or mouse event (the release of the key
// that closed it, the next Escape of the engine's loop) reaches an element
// that has been removed. A dialog that removed itself has done so already.
void closeDialog(IrrlichtDevice* device, gui::IGUIElement* dialog)
{
	if (!dialog->getParent())
		return;
	gui::IGUIEnvironment* gui = device->getGUIEnvironment();
	dialog->setVisible(false);
	gui::IGUIElement* focus = gui->getFocus();
	if (focus && (focus == dialog || dialog->isMyChild(focus)))
		gui->setFocus(nullptr);
	// The element under the pointer, looked for again without the dialog.
	SEvent move = {};
	move.EventType = EET_MOUSE_INPUT_EVENT;
	move.MouseInput.Event = EMIE_MOUSE_MOVED;
	const core::position2di at = device->getCursorControl()->getPosition();
	move.MouseInput.X = at.X;
	move.MouseInput.Y = at.Y;
	gui->postEventFromUser(move);
	dialog->remove();
}

// ---- A window of the dialog's own -------------------------------------------------
bool x11Window(IrrlichtDevice* device, Display** display, Window* window)
{
	video::IVideoDriver* driver = device->getVideoDriver();
	if (!driver || driver->getDriverType() != video::EDT_OPENGL)
		return false;
	const video::SExposedVideoData& data = driver->getExposedVideoData();
	*display = static_cast<Display*>(data.OpenGLLinux.X11Display);
	*window = static_cast<Window>(data.OpenGLLinux.X11Window);
	return *display && *window;
}

// Centres the window and tells the window manager what it needs: that the close
// button may ask (WM_DELETE_WINDOW, which ends the dialog as a cancel) and
// which process the window belongs to.
void settleOwnWindow(IrrlichtDevice* device, int width, int height)
{
	Display* display;
	Window window;
	if (!x11Window(device, &display, &window))
		return;
	Screen* screen = DefaultScreenOfDisplay(display);
	XMoveWindow(display, window, std::max(0, (WidthOfScreen(screen) - width) / 2),
		std::max(0, (HeightOfScreen(screen) - height) / 2));
	Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
	XSetWMProtocols(display, window, &deleteWindow, 1);
	const long pid = static_cast<long>(getpid());
	XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
		reinterpret_cast<const unsigned char*>(&pid), 1);
	XFlush(display);
}

// A small windowed OpenGL device; null (logged) when none can be made.
IrrlichtDevice* openOwnWindow(int width, int height, const wchar_t* caption, IEventReceiver* receiver)
{
	SIrrlichtCreationParameters cp;
	cp.DriverType = video::EDT_OPENGL;
	cp.WindowSize = core::dimension2d<u32>(static_cast<u32>(width), static_cast<u32>(height));
	cp.Bits = 32;
	cp.Fullscreen = false;
	// Some X servers answer the library's vsync request with a fatal X error.
	cp.Vsync = false;
	cp.Stencilbuffer = false;
	cp.EventReceiver = receiver;
	cp.LoggingLevel = ELL_DEBUG;
	// A display server without clients resets and drops the connections made
	// meanwhile (the engine's window may just have gone): try a few times.
	IrrlichtDevice* device = createDeviceEx(cp);
	for (int tries = 1; !device && tries < 5; ++tries)
	{
		usleep(100 * 1000);
		device = createDeviceEx(cp);
	}
	if (!device)
	{
		zeLog(EZELL_WARN, "ZeDialogs: cannot open a window for the dialog");
		return nullptr;
	}
	zeKeepGLDriverLoaded();
	device->setWindowCaption(caption);
	settleOwnWindow(device, width, height);
	return device;
}

// Gone for good, so that another device (the engine's) can be made.
void closeOwnWindow(IrrlichtDevice* device)
{
	device->closeDevice();
	device->run();
	device->drop();
}

video::SColor faceColour(IrrlichtDevice* device)
{
	return device->getGUIEnvironment()->getSkin()->getColor(gui::EGDC_3D_FACE);
}

// ---- The engine window ---------------------------------------------------------------
// How the engine window was before a dialog had to put it on screen.
enum EWindowState
{
	EWS_SHOWN,
	EWS_HIDDEN,
	EWS_ICONIC
};

EWindowState engineWindowUp(IrrlichtDevice* device)
{
	Display* display;
	Window window;
	if (!x11Window(device, &display, &window))
		return EWS_SHOWN;
	XWindowAttributes attributes;
	if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state == IsViewable)
		return EWS_SHOWN;
	EWindowState state = EWS_HIDDEN;
	const Atom wmState = XInternAtom(display, "WM_STATE", True);
	if (wmState != None)
	{
		Atom type;
		int format;
		unsigned long count, after;
		unsigned char* data = nullptr;
		if (XGetWindowProperty(display, window, wmState, 0, 2, False, wmState, &type, &format, &count, &after, &data) ==
				Success &&
			data)
		{
			if (format == 32 && count > 0 && reinterpret_cast<long*>(data)[0] == IconicState)
				state = EWS_ICONIC;
			XFree(data);
		}
	}
	zeShowWindow();
	return state;
}

void engineWindowBack(IrrlichtDevice* device, EWindowState state)
{
	if (state == EWS_HIDDEN)
		zeHideWindow();
	else if (state == EWS_ICONIC)
		device->minimizeWindow();
}

// The engine's device, ready for a dialog: on screen, pointer visible, events
// to `receiver`. Undone by the destructor.
class CEngineDialogScope
{
public:
	CEngineDialogScope(SZeContext* context, IEventReceiver* receiver) : Context(context)
	{
		IrrlichtDevice* device = Context->device;
		State = engineWindowUp(device);
		gui::ICursorControl* cursor = device->getCursorControl();
		CursorVisible = cursor->isVisible();
		cursor->setVisible(true);
		device->setEventReceiver(receiver);
	}
	~CEngineDialogScope()
	{
		IrrlichtDevice* device = Context->device;
		device->setEventReceiver(Context->receiver);
		device->getCursorControl()->setVisible(CursorVisible);
		engineWindowBack(device, State);
	}
	CEngineDialogScope(const CEngineDialogScope&) = delete;
	CEngineDialogScope& operator=(const CEngineDialogScope&) = delete;

private:
	SZeContext* Context;
	EWindowState State;
	bool CursorVisible;
};

// ---- Message box ------------------------------------------------------------------------
class CBoxReceiver : public CModalReceiver
{
public:
	explicit CBoxReceiver(IEventReceiver* engine) : CModalReceiver(engine, true) {}

protected:
	bool onGui(const SEvent::SGUIEvent& event) override
	{
		if (event.EventType == gui::EGET_MESSAGEBOX_OK || event.EventType == gui::EGET_MESSAGEBOX_CANCEL)
		{
			Outcome = EO_CONFIRMED;
			return true;
		}
		return false;
	}
};

void runBox(IrrlichtDevice* device, const video::SColor& background, const wchar_t* caption, const wchar_t* text,
	CBoxReceiver& receiver)
{
	gui::IGUIEnvironment* gui = device->getGUIEnvironment();
	gui::IGUIWindow* box = gui->addMessageBox(caption, text, true, gui::EMBF_OK);
	box->grab();
	runModal(device, background, receiver, box);
	closeDialog(device, box);
	box->drop();
}

void showBox(const char* caption, const char* text)
{
	if (g_modalActive)
		return;
	SModalGuard guard;
	const core::stringw wideCaption = toWide(caption);
	const core::stringw wideText = toWide(text);
	SZeContext* c = zeGetContext();
	if (c->device)
	{
		CBoxReceiver receiver(c->receiver);
		CEngineDialogScope scope(c, &receiver);
		runBox(c->device, c->backdrop, wideCaption.c_str(), wideText.c_str(), receiver);
		return;
	}
	CBoxReceiver receiver(nullptr);
	IrrlichtDevice* device = openOwnWindow(640, 300, wideCaption.c_str(), &receiver);
	if (!device)
		return;
	runBox(device, faceColour(device), wideCaption.c_str(), wideText.c_str(), receiver);
	closeOwnWindow(device);
}

void boxHook(const char* caption, const char* text)
{
	if (!zeIsBatchMode())
		showBox(caption, text);
}

// ---- Set-up dialog ---------------------------------------------------------------------------
const wchar_t* const CHECK_LABELS[] = {
	L"Windowed", L"Vertical sync", L"Antialiasing", L"Shaders", L"Stereo", L"Centered"};
const bool CHECK_DEFAULTS[] = {true, true, true, true, false, true};
const int CHECK_COUNT = 6;

SZeScreenModeValues defaultScreenMode()
{
	SZeScreenModeValues v;
	v.width = 640;
	v.height = 480;
	v.windowed = 1;
	v.bpp = 32;
	v.vsync = 1;
	v.fps = -1;
	v.antialias = 1;
	v.shaders = 1;
	v.stereo = 0;
	v.centered = 1;
	return v;
}

s32 itemId(EZE_SETUP_DIALOG_ITEM item)
{
	return static_cast<s32>(item) + 1;
}

class CSetupReceiver : public CModalReceiver
{
public:
	CSetupReceiver() : CModalReceiver(nullptr, true) {}

	bool OnEvent(const SEvent& event) override
	{
		// Tab and Shift+Tab walk the controls here: the list box would take
		// the tab character as the start of an item's name.
		if (Gui && Outcome == EO_PENDING && event.EventType == EET_KEY_INPUT_EVENT && event.KeyInput.Key == KEY_TAB)
		{
			if (event.KeyInput.PressedDown)
			{
				const gui::IGUIElement* focus = Gui->getFocus();
				const s32 count = EZESDI_COUNT;
				s32 at = focus && focus->getID() >= 1 && focus->getID() <= count ? focus->getID() - 1 : 0;
				at = (at + (event.KeyInput.Shift ? count - 1 : 1)) % count;
				Gui->setFocus(Gui->getRootGUIElement()->getElementFromId(itemId(static_cast<EZE_SETUP_DIALOG_ITEM>(at)), true));
			}
			return true;
		}
		return CModalReceiver::OnEvent(event);
	}

	gui::IGUIEnvironment* Gui = nullptr;

protected:
	bool onGui(const SEvent::SGUIEvent& event) override
	{
		const s32 id = event.Caller ? event.Caller->getID() : -1;
		if (event.EventType == gui::EGET_BUTTON_CLICKED && (id == itemId(EZESDI_RUN) || id == itemId(EZESDI_CANCEL)))
		{
			Outcome = id == itemId(EZESDI_RUN) ? EO_CONFIRMED : EO_CANCELLED;
			return true;
		}
		return false;
	}
};

// The device's resolutions, each size once, smallest first.
std::vector<std::pair<u32, u32>> listModes(IrrlichtDevice* device)
{
	std::vector<std::pair<u32, u32>> modes;
	video::IVideoModeList* list = device->getVideoModeList();
	for (s32 i = 0; list && i < list->getVideoModeCount(); ++i)
	{
		const core::dimension2d<u32> size = list->getVideoModeResolution(i);
		if (size.Width > 0 && size.Height > 0)
			modes.emplace_back(size.Width, size.Height);
	}
	// Without the X extensions that list modes: 640 by 480 and the screen's size.
	Display* display;
	Window window;
	if (modes.empty())
	{
		modes.emplace_back(640u, 480u);
		if (x11Window(device, &display, &window))
		{
			Screen* screen = DefaultScreenOfDisplay(display);
			modes.emplace_back(static_cast<u32>(WidthOfScreen(screen)), static_cast<u32>(HeightOfScreen(screen)));
		}
	}
	std::sort(modes.begin(), modes.end());
	modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
	return modes;
}

void keepConfirmed(const SZeScreenModeValues& chosen, SZeScreenModeValues* values)
{
	if (values)
		*values = chosen;
	zeKeepScreenModeValues(chosen);
}
} // namespace

// ---- Set-up dialog ---------------------------------------------------------------------------------
core::recti zeSetupDialogItemRect(EZE_SETUP_DIALOG_ITEM item)
{
	switch (item)
	{
	case EZESDI_RESOLUTIONS:
		return core::recti(12, 30, 200, 306);
	case EZESDI_RUN:
		return core::recti(220, 272, 308, 304);
	case EZESDI_CANCEL:
		return core::recti(320, 272, 408, 304);
	case EZESDI_COUNT:
		return core::recti();
	default:
	{
		const int row = static_cast<int>(item) - static_cast<int>(EZESDI_WINDOWED);
		return core::recti(220, 30 + row * 30, 408, 52 + row * 30);
	}
	}
}

int zeScreenModeDialog(SZeScreenModeValues* values)
{
	SZeScreenModeValues chosen = defaultScreenMode();
	if (zeIsBatchMode())
	{
		keepConfirmed(chosen, values);
		zeLog(EZELL_INFO, "ZeSetup: batch mode, set-up dialog confirmed %dx%dx%d windowed", chosen.width, chosen.height,
			chosen.bpp);
		return 0;
	}
	SModalGuard guard;
	CSetupReceiver receiver;
	IrrlichtDevice* device = openOwnWindow(ZE_SETUP_DIALOG_WIDTH, ZE_SETUP_DIALOG_HEIGHT, L"Zelv set-up", &receiver);
	if (!device)
	{
		// The engine's own device will fail the same way and say why.
		keepConfirmed(chosen, values);
		zeLog(EZELL_WARN, "ZeSetup: no set-up dialog, using the defaults");
		return 0;
	}
	gui::IGUIEnvironment* gui = device->getGUIEnvironment();
	receiver.Gui = gui;
	gui->addStaticText(L"Resolution", core::recti(12, 10, 200, 28), false, false, nullptr, -1, false);
	gui::IGUIListBox* list =
		gui->addListBox(zeSetupDialogItemRect(EZESDI_RESOLUTIONS), nullptr, itemId(EZESDI_RESOLUTIONS), true);
	const std::vector<std::pair<u32, u32>> modes = listModes(device);
	s32 selected = 0;
	for (size_t i = 0; i < modes.size(); ++i)
	{
		wchar_t label[32];
		swprintf(label, 32, L"%u x %u", modes[i].first, modes[i].second);
		list->addItem(label);
		if (modes[i].first == 640 && modes[i].second == 480)
			selected = static_cast<s32>(i);
	}
	list->setSelected(selected);
	gui::IGUICheckBox* checks[CHECK_COUNT];
	for (int i = 0; i < CHECK_COUNT; ++i)
	{
		const EZE_SETUP_DIALOG_ITEM item = static_cast<EZE_SETUP_DIALOG_ITEM>(EZESDI_WINDOWED + i);
		checks[i] = gui->addCheckBox(CHECK_DEFAULTS[i], zeSetupDialogItemRect(item), nullptr, itemId(item), CHECK_LABELS[i]);
	}
	gui->addButton(zeSetupDialogItemRect(EZESDI_RUN), nullptr, itemId(EZESDI_RUN), L"Run");
	gui->addButton(zeSetupDialogItemRect(EZESDI_CANCEL), nullptr, itemId(EZESDI_CANCEL), L"Cancel");
	gui->setFocus(list);

	runModal(device, faceColour(device), receiver);

	if (receiver.Outcome == EO_CONFIRMED)
	{
		const s32 row = list->getSelected();
		const std::pair<u32, u32> mode = modes[row >= 0 ? static_cast<size_t>(row) : static_cast<size_t>(selected)];
		chosen.width = static_cast<int>(mode.first);
		chosen.height = static_cast<int>(mode.second);
		int* const flags[CHECK_COUNT] = {&chosen.windowed, &chosen.vsync, &chosen.antialias, &chosen.shaders,
			&chosen.stereo, &chosen.centered};
		for (int i = 0; i < CHECK_COUNT; ++i)
			*flags[i] = checks[i]->isChecked() ? 1 : 0;
	}
	closeOwnWindow(device);
	if (receiver.Outcome != EO_CONFIRMED)
	{
		zeLog(EZELL_INFO, "ZeSetup: set-up dialog cancelled");
		return 1;
	}
	keepConfirmed(chosen, values);
	zeLog(EZELL_INFO, "ZeSetup: set-up dialog confirmed %dx%dx%d %s", chosen.width, chosen.height, chosen.bpp,
		chosen.windowed ? "windowed" : "full screen");
	return 0;
}

// ---- File requester ------------------------------------------------------------------------------
namespace
{
class CFileReceiver : public CModalReceiver
{
public:
	explicit CFileReceiver(IEventReceiver* engine) : CModalReceiver(engine, false) {}

	bool OnEvent(const SEvent& event) override
	{
		// Return on a file in the list opens it, as the OK button does (the
		// dialog itself only opens folders that way). The list shows the
		// dialog's folder, which is the process's current one meanwhile.
		if (Dialog && Outcome == EO_PENDING && event.EventType == EET_KEY_INPUT_EVENT &&
			event.KeyInput.PressedDown && event.KeyInput.Key == KEY_RETURN)
		{
			gui::IGUIElement* focus = Gui->getFocus();
			if (focus && focus->getParent() == Dialog && focus->getType() == gui::EGUIET_LIST_BOX)
			{
				const gui::IGUIListBox* list = static_cast<gui::IGUIListBox*>(focus);
				const s32 row = list->getSelected();
				struct stat st;
				if (row >= 0 && list->getListItem(static_cast<u32>(row)))
				{
					const core::stringw item(list->getListItem(static_cast<u32>(row)));
					if (stat(core::stringc(item).c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
					{
						take(item.c_str());
						return true;
					}
				}
			}
		}
		return CModalReceiver::OnEvent(event);
	}

	gui::IGUIEnvironment* Gui = nullptr;
	gui::IGUIFileOpenDialog* Dialog = nullptr;
	char Path[PATH_SIZE] = "";
	bool TooLong = false;

protected:
	bool onGui(const SEvent::SGUIEvent& event) override
	{
		if (event.EventType == gui::EGET_FILE_CHOOSE_DIALOG_CANCELLED)
		{
			Outcome = EO_CANCELLED;
			return true;
		}
		if (event.EventType != gui::EGET_FILE_SELECTED || !event.Caller)
			return false;
		take(static_cast<gui::IGUIFileOpenDialog*>(event.Caller)->getFileName());
		return true;
	}

private:
	void take(const wchar_t* chosen)
	{
		// The dialog's names are the file system's bytes, one per character.
		const core::stringc name(chosen ? chosen : L"");
		core::stringc full = name;
		char cwd[PATH_MAX];
		if (name.size() > 0 && name[0] != '/' && getcwd(cwd, sizeof(cwd)))
			full = core::stringc(cwd) + "/" + name;
		TooLong = full.size() >= static_cast<u32>(PATH_SIZE);
		if (!TooLong)
			snprintf(Path, sizeof(Path), "%s", full.c_str());
		Outcome = name.size() > 0 && !TooLong ? EO_CONFIRMED : EO_CANCELLED;
	}
};

void runFileDialog(IrrlichtDevice* device, const video::SColor& background, const wchar_t* title,
	CFileReceiver& receiver)
{
	io::IFileSystem* files = device->getFileSystem();
	const io::EFileSystemType previous = files->setFileListSystem(io::FILESYSTEM_NATIVE);
	gui::IGUIEnvironment* gui = device->getGUIEnvironment();
	gui::IGUIFileOpenDialog* dialog = gui->addFileOpenDialog(title, true);
	dialog->grab();
	receiver.Gui = gui;
	receiver.Dialog = dialog;
	// Keyboard users start in the file list: type a name's start, Return opens it.
	for (gui::IGUIElement* child : dialog->getChildren())
		if (child->getType() == gui::EGUIET_LIST_BOX)
			gui->setFocus(child);
	runModal(device, background, receiver, dialog);
	receiver.Dialog = nullptr;
	closeDialog(device, dialog);
	dialog->drop();
	files->setFileListSystem(previous);
}
} // namespace

const char* zeFileRequester(const char* text, const char* filter)
{
	static char s_path[PATH_SIZE];
	if (zeIsBatchMode())
	{
		zeLog(EZELL_WARN, "zeFileRequester: batch mode, nobody to choose a file for '%s'", text ? text : "");
		return nullptr;
	}
	if (g_modalActive)
	{
		zeLog(EZELL_WARN, "zeFileRequester: another dialog is open");
		return nullptr;
	}
	SModalGuard guard;
	char startDir[PATH_MAX];
	const bool haveStartDir = getcwd(startDir, sizeof(startDir)) != nullptr;

	core::stringw title = toWide(text && *text ? text : "Open");
	if (filter && *filter)
		title += core::stringw(L" - ") + toWide(filter);

	SZeContext* c = zeGetContext();
	CFileReceiver receiver(c->receiver);
	if (c->device)
	{
		CEngineDialogScope scope(c, &receiver);
		runFileDialog(c->device, c->backdrop, title.c_str(), receiver);
	}
	else if (IrrlichtDevice* device = openOwnWindow(480, 360, title.c_str(), &receiver))
	{
		runFileDialog(device, faceColour(device), title.c_str(), receiver);
		closeOwnWindow(device);
	}

	if (haveStartDir && chdir(startDir) != 0)
		zeLog(EZELL_WARN, "zeFileRequester: cannot return to '%s'", startDir);
	if (receiver.TooLong)
		zeLog(EZELL_WARN, "zeFileRequester: the chosen path is longer than %d characters", PATH_SIZE - 1);
	if (receiver.Outcome != EO_CONFIRMED)
		return nullptr;
	snprintf(s_path, sizeof(s_path), "%s", receiver.Path);
	return s_path;
}

// ---- Message boxes ----------------------------------------------------------------------------------
void zeMessageBox(const char* format, ...)
{
	char text[TEXT_SIZE];
	va_list args;
	va_start(args, format);
	vsnprintf(text, sizeof(text), format, args);
	va_end(args);
	zeLog(EZELL_INFO, "ZeMessageBox: %s", text);
	if (!zeIsBatchMode())
		showBox("Zelv", text);
}

void zeInstallMessageBoxHook()
{
	zeSetMessageBoxHook(boxHook);
}
