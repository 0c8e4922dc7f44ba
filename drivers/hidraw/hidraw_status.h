/*
 * An optional export of the hidraw driver libraries, beside those of mokta_driver.h. The
 * program looks it up with dlsym and does without it when it is missing (the virtual mouse's
 * libraries do not have it).
 */
#ifndef MOKTA_HIDRAW_STATUS_H
#define MOKTA_HIDRAW_STATUS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Returns non-zero when the last Open_FeatureDevice found the device but could not open its
 * hidraw node for lack of permission, and then copies a one-line message for the user into
 * `text` (at most `size` bytes, always NUL-terminated when `size` > 0). Returns 0 and leaves an
 * empty text otherwise. UI thread.
 */
int32_t Mokta_LastOpenError(char* text, int32_t size);

typedef int32_t (*MoktaLastOpenErrorFn)(char*, int32_t);

#ifdef __cplusplus
}
#endif

#endif /* MOKTA_HIDRAW_STATUS_H */
