/* A Wayland window for the end-to-end tests: an xdg-shell toplevel (app id "wayland-target") that
 * fills what the compositor gives it with one colour and writes every pointer button and key it gets
 * to the log file, one line each, flushed at once:
 *   ready
 *   button <ms> <linux button code> <1 pressed | 0 released> <x> <y>   (the pointer in the window)
 *   axis <ms> <0 vertical | 1 horizontal> <value, positive down or right>
 *   key <ms> <keycode less 8> <1 pressed | 0 released>
 *   enter pointer | enter keyboard
 * usage: wayland_target LOG_FILE */
#define _GNU_SOURCE
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include "xdg-shell-client.h"

static struct wl_compositor *compositor;
static struct wl_shm *shm;
static struct xdg_wm_base *wm_base;
static struct wl_seat *seat;
static struct wl_surface *surface;
static struct wl_buffer *buffer;
static FILE *log_file;
static int width = 800, height = 600, configured_width, configured_height;
static int closed;
static int pointer_x, pointer_y;

static void say(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void say(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(log_file, format, args);
    va_end(args);
    fputc('\n', log_file);
    fflush(log_file);
}

static void paint(void) {
    const int stride = width * 4, size = stride * height;
    int fd = memfd_create("wayland-target", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) < 0) exit(1);
    uint32_t *pixels = mmap(NULL, (size_t)size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) exit(1);
    for (int i = 0; i < width * height; ++i) pixels[i] = 0xff2f6f4f;
    munmap(pixels, (size_t)size);
    struct wl_shm_pool *pool = wl_shm_create_pool(shm, fd, size);
    if (buffer) wl_buffer_destroy(buffer);
    buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_damage(surface, 0, 0, width, height);
    wl_surface_commit(surface);
}

static void ping(void *data, struct xdg_wm_base *base, uint32_t serial) {
    (void)data;
    xdg_wm_base_pong(base, serial);
}
static const struct xdg_wm_base_listener wm_base_listener = {ping};

static void surface_configure(void *data, struct xdg_surface *xdg_surface, uint32_t serial) {
    (void)data;
    xdg_surface_ack_configure(xdg_surface, serial);
    if (configured_width > 0 && configured_height > 0) {
        width = configured_width;
        height = configured_height;
    }
    paint();
}
static const struct xdg_surface_listener surface_listener = {surface_configure};

static void toplevel_configure(void *data, struct xdg_toplevel *toplevel, int32_t w, int32_t h,
                               struct wl_array *states) {
    (void)data, (void)toplevel, (void)states;
    configured_width = w;
    configured_height = h;
}
static void toplevel_close(void *data, struct xdg_toplevel *toplevel) {
    (void)data, (void)toplevel;
    closed = 1;
}
static const struct xdg_toplevel_listener toplevel_listener = {.configure = toplevel_configure,
                                                                .close = toplevel_close};

static void pointer_enter(void *d, struct wl_pointer *p, uint32_t s, struct wl_surface *f, wl_fixed_t x, wl_fixed_t y) {
    (void)d, (void)p, (void)s, (void)f;
    pointer_x = wl_fixed_to_int(x);
    pointer_y = wl_fixed_to_int(y);
    say("enter pointer");
}
static void pointer_leave(void *d, struct wl_pointer *p, uint32_t s, struct wl_surface *f) {
    (void)d, (void)p, (void)s, (void)f;
}
static void pointer_motion(void *d, struct wl_pointer *p, uint32_t t, wl_fixed_t x, wl_fixed_t y) {
    (void)d, (void)p, (void)t;
    pointer_x = wl_fixed_to_int(x);
    pointer_y = wl_fixed_to_int(y);
}
static void pointer_button(void *d, struct wl_pointer *p, uint32_t serial, uint32_t time, uint32_t button,
                           uint32_t state) {
    (void)d, (void)p, (void)serial;
    say("button %u %u %u %d %d", time, button, state, pointer_x, pointer_y);
}
static void pointer_axis(void *d, struct wl_pointer *p, uint32_t t, uint32_t axis, wl_fixed_t value) {
    (void)d, (void)p;
    say("axis %u %u %d", t, axis, wl_fixed_to_int(value));
}
static void pointer_frame(void *d, struct wl_pointer *p) { (void)d, (void)p; }
static void pointer_axis_source(void *d, struct wl_pointer *p, uint32_t s) { (void)d, (void)p, (void)s; }
static void pointer_axis_stop(void *d, struct wl_pointer *p, uint32_t t, uint32_t a) { (void)d, (void)p, (void)t, (void)a; }
static void pointer_axis_discrete(void *d, struct wl_pointer *p, uint32_t a, int32_t v) { (void)d, (void)p, (void)a, (void)v; }
static const struct wl_pointer_listener pointer_listener = {
    .enter = pointer_enter,
    .leave = pointer_leave,
    .motion = pointer_motion,
    .button = pointer_button,
    .axis = pointer_axis,
    .frame = pointer_frame,
    .axis_source = pointer_axis_source,
    .axis_stop = pointer_axis_stop,
    .axis_discrete = pointer_axis_discrete,
};

static void keyboard_keymap(void *d, struct wl_keyboard *k, uint32_t format, int32_t fd, uint32_t size) {
    (void)d, (void)k, (void)format, (void)size;
    close(fd);
}
static void keyboard_enter(void *d, struct wl_keyboard *k, uint32_t s, struct wl_surface *f, struct wl_array *keys) {
    (void)d, (void)k, (void)s, (void)f, (void)keys;
    say("enter keyboard");
}
static void keyboard_leave(void *d, struct wl_keyboard *k, uint32_t s, struct wl_surface *f) {
    (void)d, (void)k, (void)s, (void)f;
}
static void keyboard_key(void *d, struct wl_keyboard *k, uint32_t serial, uint32_t time, uint32_t key, uint32_t state) {
    (void)d, (void)k, (void)serial;
    say("key %u %u %u", time, key, state);
}
static void keyboard_modifiers(void *d, struct wl_keyboard *k, uint32_t s, uint32_t dep, uint32_t lat, uint32_t lock,
                               uint32_t group) {
    (void)d, (void)k, (void)s, (void)dep, (void)lat, (void)lock, (void)group;
}
static void keyboard_repeat(void *d, struct wl_keyboard *k, int32_t rate, int32_t delay) {
    (void)d, (void)k, (void)rate, (void)delay;
}
static const struct wl_keyboard_listener keyboard_listener = {keyboard_keymap, keyboard_enter,     keyboard_leave,
                                                              keyboard_key,    keyboard_modifiers, keyboard_repeat};

static struct wl_pointer *pointer;
static struct wl_keyboard *keyboard;

static void seat_capabilities(void *d, struct wl_seat *s, uint32_t capabilities) {
    (void)d;
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !pointer) {
        pointer = wl_seat_get_pointer(s);
        wl_pointer_add_listener(pointer, &pointer_listener, NULL);
    }
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
        keyboard = wl_seat_get_keyboard(s);
        wl_keyboard_add_listener(keyboard, &keyboard_listener, NULL);
    }
}
static void seat_name(void *d, struct wl_seat *s, const char *name) { (void)d, (void)s, (void)name; }
static const struct wl_seat_listener seat_listener = {seat_capabilities, seat_name};

static void global(void *d, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
    (void)d;
    if (strcmp(interface, wl_compositor_interface.name) == 0) {
        compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 4);
    } else if (strcmp(interface, wl_shm_interface.name) == 0) {
        shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
    } else if (strcmp(interface, xdg_wm_base_interface.name) == 0) {
        wm_base = wl_registry_bind(registry, name, &xdg_wm_base_interface, 1);
        xdg_wm_base_add_listener(wm_base, &wm_base_listener, NULL);
    } else if (strcmp(interface, wl_seat_interface.name) == 0 && !seat) {
        seat = wl_registry_bind(registry, name, &wl_seat_interface, version < 5 ? version : 5);
        wl_seat_add_listener(seat, &seat_listener, NULL);
    }
}
static void global_remove(void *d, struct wl_registry *r, uint32_t name) { (void)d, (void)r, (void)name; }
static const struct wl_registry_listener registry_listener = {global, global_remove};

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: wayland_target LOG_FILE\n");
        return 2;
    }
    log_file = fopen(argv[1], "a");
    struct wl_display *display = wl_display_connect(NULL);
    if (!log_file || !display) return 1;
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!compositor || !shm || !wm_base || !seat) return 1;
    surface = wl_compositor_create_surface(compositor);
    struct xdg_surface *xdg_surface = xdg_wm_base_get_xdg_surface(wm_base, surface);
    xdg_surface_add_listener(xdg_surface, &surface_listener, NULL);
    struct xdg_toplevel *toplevel = xdg_surface_get_toplevel(xdg_surface);
    xdg_toplevel_add_listener(toplevel, &toplevel_listener, NULL);
    xdg_toplevel_set_title(toplevel, "wayland-target");
    xdg_toplevel_set_app_id(toplevel, "wayland-target");
    wl_surface_commit(surface);
    wl_display_roundtrip(display);
    say("ready");
    while (!closed && wl_display_dispatch(display) != -1) {
    }
    return 0;
}
