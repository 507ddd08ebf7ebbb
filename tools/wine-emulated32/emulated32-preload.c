/*
 * Preloaded into Wine's 32-bit loader when it runs under qemu-i386 user emulation (the emulated32
 * route of tools/windows-build.sh, for kernels that cannot run 32-bit programs). It mends the two
 * places where emulation differs from a real 32-bit kernel in a way Wine notices:
 *
 * - Signals: qemu delivers a fault with the signal context's trap number left at -1. Wine reads
 *   that number to tell a page fault from other faults, so under qemu every page fault of 32-bit
 *   code became "illegal instruction": write watches, guard pages and handled access violations
 *   broke. The sigaction wrapper puts a small handler in front of each fault handler Wine installs;
 *   it fills in the number a real kernel would have given (from the signal and its code) and
 *   passes the signal on. The error code, which says whether a write faulted, is already right.
 *
 * - exec: qemu hands execve straight to the kernel, which would refuse (or, on a kernel that can,
 *   run natively) the next 32-bit program Wine starts: a new Windows process is a new
 *   /usr/lib/wine/wine. A 32-bit program is therefore started under qemu-i386 again, with this
 *   library preloaded; any other program is started without it (the host's loader would only
 *   complain about a library of the wrong class).
 *
 * Environment (set by tools/wine-emulated32/wine): TALVO_QEMU_I386, the emulator;
 * TALVO_EMULATED32_PRELOAD, this library.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <ucontext.h>
#include <unistd.h>

/* The x86 trap numbers a kernel reports for each kind of fault. */
enum {
    TRAP_DIVIDE = 0,
    TRAP_DEBUG = 1,
    TRAP_BREAKPOINT = 3,
    TRAP_OVERFLOW = 4,
    TRAP_INVALID_OPCODE = 6,
    TRAP_PROTECTION = 13,
    TRAP_PAGE_FAULT = 14,
    TRAP_FPU_ERROR = 16,
    TRAP_ALIGNMENT = 17,
};

static int trap_for(int sig, int code)
{
    switch (sig) {
    case SIGSEGV: return code == SEGV_MAPERR || code == SEGV_ACCERR ? TRAP_PAGE_FAULT : TRAP_PROTECTION;
    case SIGBUS: return code == BUS_ADRALN ? TRAP_ALIGNMENT : TRAP_PAGE_FAULT;
    case SIGILL: return TRAP_INVALID_OPCODE;
    case SIGFPE:
        if (code == FPE_INTDIV) return TRAP_DIVIDE;
        return code == FPE_INTOVF ? TRAP_OVERFLOW : TRAP_FPU_ERROR;
    case SIGTRAP: return code == TRAP_TRACE ? TRAP_DEBUG : TRAP_BREAKPOINT;
    default: return -1;
    }
}

static int is_fault_signal(int sig)
{
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

typedef int sigaction_fn(int, const struct sigaction *, struct sigaction *);
typedef int execve_fn(const char *, char *const[], char *const[]);

static sigaction_fn *real_sigaction(void)
{
    static sigaction_fn *fn;
    if (!fn) fn = (sigaction_fn *)dlsym(RTLD_NEXT, "sigaction");
    return fn;
}

static execve_fn *real_execve(void)
{
    static execve_fn *fn;
    if (!fn) fn = (execve_fn *)dlsym(RTLD_NEXT, "execve");
    return fn;
}

/* What the program asked for, per fault signal: handed back to it by sigaction. */
static struct sigaction wanted[NSIG];

static void fault_handler(int sig, siginfo_t *info, void *context)
{
    ucontext_t *uc = context;
    if (uc && uc->uc_mcontext.gregs[REG_TRAPNO] == -1)
        uc->uc_mcontext.gregs[REG_TRAPNO] = trap_for(sig, info ? info->si_code : 0);
    const struct sigaction *act = &wanted[sig];
    if (act->sa_flags & SA_SIGINFO) act->sa_sigaction(sig, info, context);
    else act->sa_handler(sig);
}

int sigaction(int sig, const struct sigaction *act, struct sigaction *oldact)
{
    if (sig <= 0 || sig >= NSIG || !is_fault_signal(sig)) return real_sigaction()(sig, act, oldact);
    struct sigaction previous = wanted[sig];
    int wrapped_before = previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN;
    int result;
    if (act && act->sa_handler != SIG_DFL && act->sa_handler != SIG_IGN) {
        struct sigaction ours = *act;
        ours.sa_sigaction = fault_handler;
        ours.sa_flags |= SA_SIGINFO;
        /* Set before the handler can run. */
        wanted[sig] = *act;
        result = real_sigaction()(sig, &ours, oldact);
        if (result != 0) wanted[sig] = previous;
    } else {
        result = real_sigaction()(sig, act, oldact);
        if (result == 0 && act) wanted[sig] = *act;
    }
    if (result == 0 && oldact && wrapped_before) *oldact = previous;
    return result;
}

static int is_i386_program(const char *path)
{
    Elf32_Ehdr header;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    ssize_t got = read(fd, &header, sizeof header);
    close(fd);
    return got == (ssize_t)sizeof header && memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS32 && header.e_machine == EM_386;
}

static size_t count(char *const list[])
{
    size_t n = 0;
    while (list && list[n]) n++;
    return n;
}

int execve(const char *path, char *const argv[], char *const envp[])
{
    const char *qemu = getenv("TALVO_QEMU_I386");
    const char *self = getenv("TALVO_EMULATED32_PRELOAD");
    if (!qemu || !self) return real_execve()(path, argv, envp);

    /* The environment without our LD_PRELOAD, for the host's programs and for qemu itself. */
    size_t n_env = count(envp);
    char **env = calloc(n_env + 1, sizeof *env);
    if (!env) { errno = ENOMEM; return -1; }
    size_t kept = 0;
    size_t preload_len = strlen("LD_PRELOAD=");
    for (size_t i = 0; i < n_env; i++) {
        if (strncmp(envp[i], "LD_PRELOAD=", preload_len) == 0 && strcmp(envp[i] + preload_len, self) == 0) continue;
        env[kept++] = envp[i];
    }
    if (!is_i386_program(path)) {
        int result = real_execve()(path, argv, env);
        free(env);
        return result;
    }

    /* qemu-i386 -0 ARGV0 -E LD_PRELOAD=SELF PATH ARGS... */
    size_t n_arg = count(argv);
    char **args = calloc(n_arg + 8, sizeof *args);
    char *preload = malloc(preload_len + strlen(self) + 1);
    if (!args || !preload) { free(env); free(args); free(preload); errno = ENOMEM; return -1; }
    strcpy(preload, "LD_PRELOAD=");
    strcat(preload, self);
    size_t a = 0;
    args[a++] = (char *)qemu;
    if (n_arg > 0) { args[a++] = "-0"; args[a++] = argv[0]; }
    args[a++] = "-E";
    args[a++] = preload;
    args[a++] = (char *)path;
    for (size_t i = 1; i < n_arg; i++) args[a++] = argv[i];
    args[a] = NULL;
    int result = real_execve()(qemu, args, env);
    int saved = errno;
    free(env); free(args); free(preload);
    errno = saved;
    return result;
}

/* glibc's own execv and execvp call its execve directly, past this library: route them here. */
extern char **environ;

int execv(const char *path, char *const argv[])
{
    return execve(path, argv, environ);
}

int execvp(const char *file, char *const argv[])
{
    if (strchr(file, '/')) return execve(file, argv, environ);
    const char *search = getenv("PATH");
    if (!search) search = "/bin:/usr/bin";
    size_t file_len = strlen(file);
    int last_error = ENOENT;
    while (*search) {
        const char *end = strchr(search, ':');
        size_t dir_len = end ? (size_t)(end - search) : strlen(search);
        char *candidate = malloc(dir_len + file_len + 2);
        if (!candidate) { errno = ENOMEM; return -1; }
        memcpy(candidate, search, dir_len);
        candidate[dir_len] = '/';
        memcpy(candidate + dir_len + 1, file, file_len + 1);
        if (access(candidate, X_OK) == 0) {
            execve(candidate, argv, environ);
            last_error = errno;
        }
        free(candidate);
        search = end ? end + 1 : search + dir_len;
    }
    errno = last_error;
    return -1;
}
