// Buttons: a view that shows one of three pictures by state (1 normal, 2 on / selected,
// 3 pressed) and calls back on a click or on its key equivalent. Buttons may share a group
// (a view of kind 2) that remembers which of them is selected.
#pragma once

#include "draw/screen.h"
#include "efi/protocols/tarn_event.h"

constexpr UINT32 kUIViewKindButton = 1;
constexpr UINT32 kUIViewKindButtonGroup = 2;

constexpr UINT32 kUIButtonStateNormal = 1;
constexpr UINT32 kUIButtonStateOn = 2;
constexpr UINT32 kUIButtonStatePressed = 3;

// Idle buttons take key and button events; a pressed one every pointer event.
constexpr UINT32 kUIButtonEventMask = 0x16E;
constexpr UINT32 kUIButtonTrackingEventMask = 0x1FF;
// A grouped button shows its pressed picture only when the pointer stays down this long.
constexpr UINT64 kUIButtonHoldPeriod = 1750000;  // 175 ms

typedef void (*UIButtonClickCallback)(TarnEventRecord* event, void* context);

struct UIButtonState {
  DUPixel* pictures[3];
  DUSize size;
  UINT32 state;
  UINT32 previous_state;
  BOOLEAN toggle;
  DUView* group;
  UIButtonClickCallback click;
  void* click_context;
  BOOLEAN click_on_press;
  UINT16 key_code;
  BOOLEAN key_code_enabled;
  UINT16 character;
  BOOLEAN character_enabled;
  BOOLEAN tracking;
  BOOLEAN inside;
  BOOLEAN hold_pending;
  EFI_EVENT hold_timer;
  BOOLEAN registered;
};

// The three pictures (size pixels each) are copied. The button registers for events when it
// is added to a screen. EFI_INVALID_PARAMETER for a missing argument or a size that does not
// match the frame, EFI_OUT_OF_RESOURCES.
EFI_STATUS UIButtonCreateWithImageBuffers(DUView** out_view, const DUPixel* normal, const DUPixel* on,
                                          const DUPixel* pressed, DUSize size, const DURect& frame);
EFI_STATUS UIButtonSetClickCallback(DUView* view, UIButtonClickCallback callback, void* context);
EFI_STATUS UIButtonSetClickOnPress(DUView* view, BOOLEAN click_on_press);
EFI_STATUS UIButtonSetToggle(DUView* view, BOOLEAN toggle);
// 1, 2 or 3, else EFI_INVALID_PARAMETER.
EFI_STATUS UIButtonSetState(DUView* view, UINT32 state);
UINT32 UIButtonGetState(const DUView* view);  // 0 for what is not a button
EFI_STATUS UIButtonSetKeyEquivalent(DUView* view, UINT16 key_code, BOOLEAN enabled);
EFI_STATUS UIButtonSetCharacterEquivalent(DUView* view, UINT16 character, BOOLEAN enabled);
// Replaces the three pictures; a new size resizes the view.
EFI_STATUS UIButtonReplaceImageBuffers(DUView* view, const DUPixel* normal, const DUPixel* on, const DUPixel* pressed,
                                       DUSize size);
// Registers the button's responder with its screen (done when it is added to one).
EFI_STATUS UIButtonRegisterForEvents(DUView* view);
EFI_STATUS UIButtonUnregister(DUView* view);
// Puts the button in group (null: none).
EFI_STATUS UIButtonSetGroup(DUView* view, DUView* group);

// A group: an empty view of kind 2. Buttons must leave it (or be destroyed) before it goes.
EFI_STATUS UIButtonGroupCreate(DUView** out_group);
DUView* UIButtonGroupSelectedButton(const DUView* group);
// The previous selected button returns to state 1, the new one (null: none) goes to 2.
EFI_STATUS UIButtonGroupSetSelectedButton(DUView* group, DUView* button);
