/* The entry points the device link binds, answering like a library with one device attached. */
#include <stdlib.h>
#include <string.h>

typedef struct {
    int event;
    const char* udid;
    int conn_type;
} fake_event_t;
typedef void (*fake_callback_t)(const fake_event_t* event, void* user_data);

static fake_callback_t g_callback;
static void* g_user_data;
static const char* g_name = "Anna's iPhone";

int idevice_event_subscribe(fake_callback_t callback, void* user_data) {
    g_callback = callback;
    g_user_data = user_data;
    return 0;
}
int idevice_event_unsubscribe(void) {
    g_callback = NULL;
    return 0;
}
int idevice_new(void** device, const char* udid) {
    (void)udid;
    *device = malloc(1);
    return 0;
}
int idevice_free(void* device) {
    free(device);
    return 0;
}
int idevice_get_udid(void* device, char** udid) {
    (void)device;
    *udid = strdup("00008030-001A");
    return 0;
}
#ifndef FAKE_WITHOUT_LOCKDOWN
int lockdownd_client_new_with_handshake(void* device, void** client, const char* label) {
    (void)device;
    (void)label;
    *client = malloc(1);
    return 0;
}
int lockdownd_get_device_name(void* client, char** name) {
    (void)client;
    *name = g_name[0] ? strdup(g_name) : NULL;
    return g_name[0] ? 0 : -1;
}
int lockdownd_client_free(void* client) {
    free(client);
    return 0;
}
#endif

/* Test hooks. */
void fake_set_name(const char* name) {
    g_name = name;
}
void fake_fire(int event, const char* udid) {
    fake_event_t e = {event, udid, 1};
    if (g_callback) {
        g_callback(&e, g_user_data);
    }
}
