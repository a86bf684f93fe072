#include "input.h"

#include <atomic>

#include "platform/close.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "input_internal.h"
#include "sysrecords.h"
#include "timer.h"

namespace {

// The module's one state record (input_internal.h says who guards what).
InputModuleState g_input;

bool IsEditKey(uint32_t key) {
  return (key >= kKeyLeft && key <= kKeyDown) || key == kKeyInsert || key == kKeyDelete;
}

// A key down: its code, or 0 when the key is skipped.
int32_t KeyCode(const PlatformMessage& m, uint32_t flags) {
  if (m.key == kKeyCtrl) {
    g_input.ctrl = 1;
    return 0;
  }
  if (m.extended) {
    // The arrows, insert and delete always carry the mark, so a text entry
    // tells them from the characters '%', '&', '\'', '(', '-' and '.' of the
    // same codes; flag 1 marks the keypad's Enter as well.
    if (m.key == kKeyEnter) {
      if (flags & WE_EXTENDED) g_input.extended = 1;
      return 13;
    }
    if (!IsEditKey(m.key)) return 0;
    g_input.extended = 1;
    return static_cast<int32_t>(m.key);
  }
  // Characters arrive as text messages; a key down carries only the control
  // characters (Enter, Escape, Backspace, Tab).
  return static_cast<int32_t>(m.ch & 0xFF);
}

uint64_t& KeyPressedIn(uint32_t key, uint32_t extended) {
  return g_input.keyPressedIn[extended ? 1 : 0][key & 0xFF];
}

// A key down: notes a press; true when it acts, a repeat only in the scope
// of its press (a key held since before a screen or box opened acts there
// no more).
bool KeyDownActs(const PlatformMessage& m) {
  uint64_t& pressed = KeyPressedIn(m.key, m.extended);
  if (!m.repeat) {
    pressed = g_input.keyScope;
    return true;
  }
  if (pressed == g_input.keyScope) return true;
  if (pressed != kKeyRepeatsDropped) {
    DebugLog("WaitEvent: Taste %u ist seit vor diesem Bild gedrueckt, ihre Wiederholungen zaehlen nicht\n", m.key);
    pressed = kKeyRepeatsDropped;
  }
  return false;
}

// A character: one a key's repeat typed acts as that repeat does.
bool TextActs(const PlatformMessage& m) {
  if (!m.repeat) return true;
  const uint64_t pressed = KeyPressedIn(m.key, 0);
  return pressed == g_input.keyScope;
}

// A mouse move: stores the position and returns its code.
int32_t MouseMove(const PlatformMessage& m) {
  int32_t x = m.x, y = m.y;
  uint32_t w = DisplayWidth(), h = DisplayHeight();
  g_input.positionKnown = 1;
  // A move reports the pointer over the window; one beyond the display's
  // edge (a drag held on past the window's border) lies outside it.
  g_input.pointerInside = x >= 0 && y >= 0 && (w == 0 || x < static_cast<int32_t>(w)) &&
                          (h == 0 || y < static_cast<int32_t>(h));
  const DisplayRecord* d = QoESystemPtr->Display;
  bool map_shown = d && d->PicId == 3;
  if (!map_shown && (w > kGameAreaWidth || h > kGameAreaHeight)) {
    int32_t dx = 0, dy = 0;
    GameAreaOffset(w, h, &dx, &dy);
    x -= dx;
    y -= dy;
    // The area's border pixels count as outside.
    if (x <= 0 || y <= 0 || x >= static_cast<int32_t>(kGameAreaWidth) - 1 ||
        y >= static_cast<int32_t>(kGameAreaHeight) - 1) {
      g_input.mouseX = -1;
      g_input.mouseY = -1;
      return WE_OUTSIDE;
    }
  }
  g_input.mouseX = x;
  g_input.mouseY = y;
  if (m.buttons & kButtonLeft) return WE_LEFT_DOWN;
  if (m.buttons & kButtonRight) return WE_RIGHT_DOWN;
  return WE_MOUSE_MOVE;
}

// The pointer left or entered the window, the window lost or gained the
// keyboard focus; the mouse position stays as the last move left it.
void WindowChange(uint32_t what) {
  switch (what) {
    case kWindowPointerLeft: g_input.pointerInside = 0; break;
    case kWindowPointerEntered: g_input.pointerInside = 1; break;
    case kWindowFocusLost: g_input.focused = 0; break;
    case kWindowFocusGained: g_input.focused = 1; break;
    default: break;
  }
}

void Click() {
  if (auto hook = g_input.click.load()) hook();
}

// After the close every call answers Escape at once; what still waits in the
// queue is meant for nobody (taking it also tells a headless script that the
// game thread waits).
bool Closing() {
  if (!g_input.closed.load() && !ProgramCloseRequested()) return false;
  g_input.closed = 1;
  PlatformMessage m{};
  while (GetGameMessage(&m, 0)) {
  }
  return true;
}

}  // namespace

int32_t WaitEvent(uint32_t flags) {
  g_input.extended = 0;
  for (;;) {
    if (Closing()) return WE_KEY_ESCAPE;
    PlatformMessage m{};
    if (!GetGameMessage(&m, (flags & WE_NOWAIT) ? 0 : -1)) return WE_NOTHING;
    switch (m.kind) {
      case kMsgKeyDown:
        // Ctrl's repeats still tell that it is held; KeyCode returns none.
        if (!KeyDownActs(m) && m.key != kKeyCtrl) break;
        if (int32_t code = KeyCode(m, flags)) return code;
        break;
      case kMsgKeyUp:
        if (m.key == kKeyCtrl) g_input.ctrl = 0;
        KeyPressedIn(m.key, m.extended) = 0;
        break;
      case kMsgText:
        if ((m.ch & 0xFF) && TextActs(m)) return static_cast<int32_t>(m.ch & 0xFF);
        break;
      case kMsgMouseMove:
        return MouseMove(m);
      case kMsgLeftDown:
        Click();
        return WE_LEFT_DOWN;
      case kMsgLeftUp:
        return WE_LEFT_UP;
      case kMsgRightDown:
        Click();
        return WE_RIGHT_DOWN;
      case kMsgRightUp:
        return WE_RIGHT_UP;
      case kMsgTimer:
        if (m.timer == kTimerCursor) {
          if (auto blink = g_input.blink.load()) blink();
        } else if (m.timer == kTimerGameTick && (flags & WE_TICKS)) {
          return WE_TICK;
        }
        break;
      case kMsgApp:
        return WE_APP;
      case kMsgQuit:
        g_input.closed = 1;
        return WE_KEY_ESCAPE;
      case kMsgWindow:
        WindowChange(m.key);
        break;
      default:
        break;
    }
  }
}

int32_t WaitEventExtended() { return g_input.extended; }

void NewKeyScope() { ++g_input.keyScope; }
int32_t WindowCloseRequested() { return g_input.closed.load() || ProgramCloseRequested() ? 1 : 0; }

uint16_t GetMouseX() { return static_cast<uint16_t>(g_input.mouseX.load()); }
uint16_t GetMouseY() { return static_cast<uint16_t>(g_input.mouseY.load()); }

int32_t MouseInWindow() { return g_input.pointerInside.load() && g_input.focused.load() ? 1 : 0; }
int32_t MousePositionKnown() { return g_input.positionKnown.load(); }

int32_t MouseInRect(int32_t x1, int32_t x2, int32_t y1, int32_t y2) {
  int32_t x = g_input.mouseX.load(), y = g_input.mouseY.load();
  return x1 < x && x < x2 && y1 < y && y < y2 ? 1 : 0;
}

int32_t WaitCtrlKey() {
  for (int i = 0; i < 10; i++) {
    // A Ctrl press still waiting at the head of the queue counts as held.
    PlatformMessage m{};
    if (PeekGameMessage(&m) && m.kind == kMsgKeyDown && m.key == kKeyCtrl) {
      GetGameMessage(&m, 0);
      g_input.ctrl = 1;
    }
    if (g_input.ctrl.load()) return 17;
    Delay(5);
  }
  return 0;
}

int32_t LoadMouseCursor(uint32_t picture_id) {
  auto hook = g_input.cursorHook.load();
  if (hook && !hook(picture_id)) return 0;
  g_input.cursorId = picture_id;
  return 1;
}

uint32_t CurrentMouseCursor() { return g_input.cursorId.load(); }

void SetClickSoundHook(void (*hook)()) { g_input.click.store(hook); }
void SetMouseCursorHook(int32_t (*hook)(uint32_t)) { g_input.cursorHook.store(hook); }
void SetCursorBlinkHook(void (*hook)()) { g_input.blink.store(hook); }

InputModuleState& InputModule() { return g_input; }

void ResetInputState() {
  g_input.mouseX = 0;
  g_input.mouseY = 0;
  g_input.pointerInside = 1;
  g_input.focused = 1;
  g_input.positionKnown = 0;
  g_input.extended = 0;
  g_input.ctrl = 0;
  g_input.keyScope = 1;
  for (auto& row : g_input.keyPressedIn)
    for (uint64_t& pressed : row) pressed = 0;
  g_input.closed = 0;
  ClearProgramClose();
  ResetTextCursor();
}
