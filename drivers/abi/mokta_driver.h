/*
 * The run-time interface between the configuration program and a feature-report driver
 * library. The program loads two libraries with these exports: "libhiddriver_2.so" drives the
 * mouse on its USB cable, "libhiddriver_1.so" the 2.4 GHz receiver. Each library drives one
 * device, named by the vendor/product pair it is given, and follows that device's arrival and
 * removal on its own. The program never tells which implementation it loaded: the hidraw
 * driver for real hardware, or the virtual mouse for development and tests.
 *
 * Calling rules, for driver authors:
 * - Every export may be called before the device is present and after it is gone; none may
 *   crash or block for long in that case. Integers are 32-bit; the calling convention is the
 *   platform's C convention.
 * - Set_VIDPID, Open_DevMonitor, Open_FeatureDevice, Close_FeatureDevice and Close_DevMonitor
 *   are called on the program's UI thread. SetFeature is called on the program's worker
 *   thread, possibly while the UI thread calls the others: the library serialises what it
 *   must. GetFeature is looked up but never called.
 * - The program calls Close_FeatureDevice and Close_DevMonitor before it unloads the library;
 *   after Close_DevMonitor returns, the library posts nothing more and runs no thread of its
 *   own.
 */
#ifndef MOKTA_DRIVER_H
#define MOKTA_DRIVER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Stands for the program's main window. `post` delivers one window message to the program's UI
 * thread: it may be called from any thread, returns at once and never calls back into the
 * library. `context` is passed back unchanged. The program keeps the struct alive until
 * Close_DevMonitor has returned.
 */
typedef struct MoktaWindow {
  void* context;
  void (*post)(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam);
} MoktaWindow;

/* Status message values (wparam) posted by the monitor. */
#define MOKTA_DEVICE_REMOVED 0
#define MOKTA_DEVICE_ARRIVED 1

/*
 * Called first, once: the vendor and product id of the device this library drives. The
 * result is ignored.
 */
int32_t Set_VIDPID(int32_t vendor_id, int32_t product_id);

/*
 * Called once after Set_VIDPID: starts following the device. From now on the library posts
 * to `window`:
 * - `status_message` with wparam MOKTA_DEVICE_ARRIVED when the device appears and
 *   MOKTA_DEVICE_REMOVED when it goes (lparam 0). A device present when the monitor starts is
 *   not announced: the program opens it at once.
 * - `data_message` with wparam = the 16-bit event word and lparam = the 16-bit event value of
 *   every event the device reports (the program decodes them).
 * Returns non-zero when the monitor runs. The result is ignored.
 */
int32_t Open_DevMonitor(const MoktaWindow* window, uint32_t data_message, uint32_t status_message);

/*
 * Opens the device for feature reports. Called at start-up and after each arrival. Returns
 * non-zero only when the device is present and open; opening an open device is harmless.
 */
int32_t Open_FeatureDevice(void);

/* Closes the device; harmless when it is not open. Called on removal and before unloading. */
int32_t Close_FeatureDevice(void);

/*
 * Sends `length` bytes as one feature report; report[0] is the command code. `length` is the
 * command's own length (9 to 59) or 64 for each piece of a split message; padding a short
 * message to the device's report size is the library's business. Returns non-zero when the
 * device took the report, 0 when it is not open (a library may first try once to open it) or
 * the write failed. Worker thread; it must not hold up the UI thread's calls while it waits
 * for the device.
 */
int32_t SetFeature(const uint8_t* report, int32_t length);

/* Stops following the device; nothing is posted after it returns. */
int32_t Close_DevMonitor(void);

/* Not used by the program; returns 0. */
int32_t GetFeature(uint8_t* report, int32_t length);

/*
 * The optional exports below are looked up one by one; a library may leave any of them out.
 *
 * Optional: a Bluetooth LE link to the same mouse, exported only by a library that can offer
 * one without the system's Bluetooth stack (the virtual mouse, from its cable library). The
 * program looks these up in the cable library and, when all three are there, uses them
 * instead of the system's Bluetooth LE presence test and GATT transport.
 *
 * MoktaBle_Open (UI thread, once): starts following the Bluetooth LE mouse; posts
 *   `presence_message` with wparam 1 when it connects and 0 when it goes, and
 *   `event_message` with wparam = event word, lparam = event value for each notification.
 *   Returns 1 when the mouse is connected now (not announced), else 0.
 * MoktaBle_Write (worker thread): one whole command message; non-zero when it was taken.
 * MoktaBle_Close (UI thread): stops following; nothing is posted after it returns.
 */
int32_t MoktaBle_Open(const MoktaWindow* window, uint32_t presence_message, uint32_t event_message);
int32_t MoktaBle_Write(const uint8_t* message, int32_t length);
int32_t MoktaBle_Close(void);

/*
 * Optional: why the last Open_FeatureDevice failed, for a library that can tell (the hidraw
 * driver; the virtual mouse's libraries lack it). Returns non-zero when the last open found the
 * device but could not open its node for lack of permission, and then copies a one-line message
 * for the user into `text` (at most `size` bytes, always NUL-terminated when `size` > 0).
 * Returns 0 and leaves an empty text otherwise. UI thread, after Open_FeatureDevice.
 */
int32_t Mokta_LastOpenError(char* text, int32_t size);

/* The exports' types, for loaders. */
typedef int32_t (*MoktaSetVidPidFn)(int32_t, int32_t);
typedef int32_t (*MoktaOpenDevMonitorFn)(const MoktaWindow*, uint32_t, uint32_t);
typedef int32_t (*MoktaOpenFeatureDeviceFn)(void);
typedef int32_t (*MoktaCloseFeatureDeviceFn)(void);
typedef int32_t (*MoktaSetFeatureFn)(const uint8_t*, int32_t);
typedef int32_t (*MoktaCloseDevMonitorFn)(void);
typedef int32_t (*MoktaGetFeatureFn)(uint8_t*, int32_t);
typedef int32_t (*MoktaBleOpenFn)(const MoktaWindow*, uint32_t, uint32_t);
typedef int32_t (*MoktaBleWriteFn)(const uint8_t*, int32_t);
typedef int32_t (*MoktaBleCloseFn)(void);
typedef int32_t (*MoktaLastOpenErrorFn)(char*, int32_t);

#ifdef __cplusplus
}
#endif

#endif /* MOKTA_DRIVER_H */
