#include "confinement.h"
#include "startup.h"

int main(int /*argc*/, char* argv[])
{
    constexpr bool confined = MARROWLARK_CONFINE;
    if (confined) {
        // Before anything starts a thread: Landlock binds only the threads started after it.
        confineFileWrites();
    }
    return runMarrowlark(argv[0], confined);
}
