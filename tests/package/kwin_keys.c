/* Keys pressed on a KWin, as a remote-input helper of a Plasma session presses them: through
 * KWin's fake input, which KWin offers only to a program an installed desktop entry lists with
 * the interface. Each argument is "Tab", "space", "ctrl+a", or text typed character by
 * character (letters, digits, '-'); capitals are typed with Shift. Exits 1 when KWin offers no
 * fake input to this program. Usage: kwin_keys WORD... */
#include "fake-input-client-protocol.h"

#include <ctype.h>
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

static struct org_kde_kwin_fake_input *fake_input;

static void announced(void *data, struct wl_registry *registry, uint32_t name,
                      const char *interface, uint32_t version) {
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake_input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void removed(void *data, struct wl_registry *registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener listener = {announced, removed};

/* The evdev code of a character on a US layout, KWin's default; 0 for one it cannot type. */
static uint32_t code_of(char character) {
    static const char *const rows[] = {"1234567890-", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const uint32_t firsts[] = {KEY_1, KEY_Q, KEY_A, KEY_Z};
    for (size_t row = 0; row < sizeof rows / sizeof *rows; ++row) {
        const char *found = strchr(rows[row], tolower((unsigned char)character));
        if (found != NULL && character != '\0')
            return firsts[row] + (uint32_t)(found - rows[row]);
    }
    return 0;
}

static void press(uint32_t modifier, uint32_t code) {
    if (modifier != 0)
        org_kde_kwin_fake_input_keyboard_key(fake_input, modifier, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(fake_input, code, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(fake_input, code, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (modifier != 0)
        org_kde_kwin_fake_input_keyboard_key(fake_input, modifier, WL_KEYBOARD_KEY_STATE_RELEASED);
}

int main(int argc, char **argv) {
    struct wl_display *display = wl_display_connect(NULL);
    if (display == NULL) {
        fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (fake_input == NULL) {
        fprintf(stderr, "KWin offers this program no fake input\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake_input, "Qolvi tests", "types an exam key");
    for (int argument = 1; argument < argc; ++argument) {
        const char *word = argv[argument];
        if (strcmp(word, "Tab") == 0) {
            press(0, KEY_TAB);
        } else if (strcmp(word, "space") == 0) {
            press(0, KEY_SPACE);
        } else if (strcmp(word, "ctrl+a") == 0) {
            press(KEY_LEFTCTRL, KEY_A);
        } else {
            for (const char *character = word; *character != '\0'; ++character) {
                const uint32_t code = code_of(*character);
                if (code == 0) {
                    fprintf(stderr, "cannot type '%c'\n", *character);
                    return 1;
                }
                press(isupper((unsigned char)*character) ? KEY_LEFTSHIFT : 0, code);
            }
        }
        /* KWin has taken each word's keys before the next comes, and all before this exits. */
        if (wl_display_roundtrip(display) < 0) {
            fprintf(stderr, "KWin closed the connection\n");
            return 1;
        }
    }
    wl_display_disconnect(display);
    return 0;
}
