// What the login window's files share: the panes, the layout, the pop-ups, the validation,
// the idle check and the sounds.
#pragma once

#include "login/login_window.h"
#include "ui/keyboard_centre.h"

// Exit: records the code, ends the run loop and redraws.
void LWExit(LoginWindow* lw, UINT32 exit_code);
void _LW_Redraw(LoginWindow* lw);

// Views (window_views.cpp).
EFI_STATUS LoginWindowCreate_AllView(LoginWindow* lw);
EFI_STATUS _LW_AddViewsToScreen(LoginWindow* lw);
void LWDestroyAllViews(LoginWindow* lw);
// A picture of the window's archive that lives as long as the window (null when missing).
DUPixel* LWOwnedPicture(LoginWindow* lw, const char* name, DUSize* size);
void LWFieldSetVisible(LWField* field, BOOLEAN visible);

// Layout (layout.cpp).
void _LW_PositionUIElements(LoginWindow* lw);
void _LW__PositionPasswordViews(LoginWindow* lw);

// Panes.
void _LW_UsersPane_SetupUI(LoginWindow* lw, BOOLEAN animate);
void _LW_UsersPane_GoTo_LoginPane(LoginWindow* lw, LoginUserRef* user);
void _LW_LoginPane_SetupUI(LoginWindow* lw, BOOLEAN animate);
void _LW_LoginPane_GoTo_MasterPasswordPane(LoginWindow* lw);
void _LW_LoginPane_GoTo_RecoveryPasswordPane(LoginWindow* lw);
void _LW_VoxletPane_SetupUI(LoginWindow* lw);
void _LW_ToggleVoxlet(LoginWindow* lw);
bool _LW_LoginPane_IsHintAvailable(LoginWindow* lw);
// The actions every pane shares: command-F5, modifiers, command-space, the guide keys.
void LWInstallCommonKeyActions(LoginWindow* lw);
void LWSetFieldFocus(LoginWindow* lw, LWField* field);
void LWTextChanged(DUView* view, void* context);
void _LW_UsersPane_TypeSelect(LoginWindow* lw, KeyboardCenterKeyInfo info);
void LWHideLoginViews(LoginWindow* lw);
LoginWindow* LWFromCentre(KeyboardCenter* centre);

// Validation (validate.cpp): true when the passphrase verified.
bool _LW_LoginPane_ValidatePassword(LoginWindow* lw, LWField* field);
// The wait before the shake of attempt n, in milliseconds.
UINT32 LWBackOffMilliseconds(UINT32 attempt);

// Pop-ups (hint_popover.cpp).
void _LW_LoginPane_ForgotPassword(LoginWindow* lw);
void _LW_GuestUserPopover_Setup(LoginWindow* lw);
void LWRemoveHintView(LoginWindow* lw);
void _LW_MessageView_MakeVisible(LoginWindow* lw, BOOLEAN visible);

// Idle and lid (idle.cpp).
void LWIdleCheck(LoginWindow* lw);
void LWStartIdleTimer(LoginWindow* lw);
void LWStartRecoveryMessageTimer(LoginWindow* lw);

// Sounds (sounds.cpp).
void _LW_VoxletPlaySound(LoginWindow* lw, const char* name);
void _LW_Beep(LoginWindow* lw, UINT32 count);
void LWSoundsRelease(LoginWindow* lw);
