/*
 * The run-time interface between the configuration program and its input hook library,
 * "libHook.so", which the program loads from its own folder (or from MOKTA_DRIVER_DIR). The
 * library captures the desktop's key and mouse-button events, also those that never reach the
 * program's windows, and posts each one to the window given to installhook. The macro
 * recorder and the key capture fields rely on it; without the library they do not record.
 *
 * Calling rules, for the library's authors:
 * - The program looks up all seven exports; when one is missing it uses none of them.
 * - Every export is called on the program's UI thread. Integers are 32-bit; the calling
 *   convention is the platform's C convention. No result is used.
 * - removehook and removemousehook may be called when nothing is installed, and any export
 *   may be called repeatedly; none may fail or block for long. The program calls
 *   removemousehook and removehook before it unloads the library: after removehook returns,
 *   nothing more is posted and no thread of the library runs.
 * - Events are delivered through window->post, which may be called from any thread and
 *   returns at once. The program keeps the window struct alive until removehook returns.
 */
#ifndef MOKTA_HOOK_H
#define MOKTA_HOOK_H

#include <stdint.h>

#include "mokta_driver.h" /* MoktaWindow */

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The one message the library posts, one per event, to the window given to installhook
 * (1034, the platform's first user message number + 10).
 *
 * A key event: wparam = the key's Windows virtual-key code (0x41 'A', 0xA0 left Shift, 0x70
 * F1, ...; the program's key table lists the codes it understands); lparam = 0 for a press,
 * non-zero for a release.
 *
 * A mouse-button event, only while enablemousehook(1) is in force: wparam = one of the
 * MOKTA_HOOK_* button values below; lparam = the X button number (1 or 2) for X-button
 * events, 0 for the others. Wheel movements are never reported while mousewheelenable(0) is
 * in force, which is how the program always calls it.
 */
#define MOKTA_HOOK_EVENT_MESSAGE 1034u

#define MOKTA_HOOK_LEFT_DOWN 0x201u
#define MOKTA_HOOK_LEFT_UP 0x202u
#define MOKTA_HOOK_RIGHT_DOWN 0x204u
#define MOKTA_HOOK_RIGHT_UP 0x205u
#define MOKTA_HOOK_MIDDLE_DOWN 0x207u
#define MOKTA_HOOK_MIDDLE_UP 0x208u
#define MOKTA_HOOK_X_DOWN 0x20Bu
#define MOKTA_HOOK_X_UP 0x20Cu

/* Never called; the program only checks that it exists. */
void installmousehook(void);

/* Removes the mouse-button part: no more mouse-button events are posted. */
void removemousehook(void);

/* 1: mouse-button events are posted as well as key events; 0: they are not. */
void enablemousehook(int32_t enable);

/* From now on the events are posted to `window` (until removehook). */
void installhook(const MoktaWindow* window);

/* No more events are posted to the window given to installhook. */
void removehook(void);

/* 1: key events are posted; 0: they are not. */
void enablehook(int32_t enable);

/* 1: wheel movements are reported; 0: they are not. The program always passes 0. */
void mousewheelenable(int32_t enable);

/*
 * Optional (the program works without it): 1 when the library sees the events of the whole
 * desktop, 0 when it cannot (no X display, no XInput2, or a Wayland session, where no client
 * sees another's input). With 0 the program captures inside its own windows instead and tells
 * the user why. A library without this export counts as 1.
 */
int32_t hookglobalcapture(void);

/* The exports' types, in the order the program looks them up. */
typedef void (*MoktaInstallMouseHookFn)(void);
typedef void (*MoktaRemoveMouseHookFn)(void);
typedef void (*MoktaEnableMouseHookFn)(int32_t);
typedef void (*MoktaInstallHookFn)(const MoktaWindow*);
typedef void (*MoktaRemoveHookFn)(void);
typedef void (*MoktaEnableHookFn)(int32_t);
typedef void (*MoktaMouseWheelEnableFn)(int32_t);
typedef int32_t (*MoktaHookGlobalCaptureFn)(void); /* optional */

#ifdef __cplusplus
}
#endif

#endif /* MOKTA_HOOK_H */
