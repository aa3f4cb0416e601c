// A planted fault for the platform-access check: a deliverable that pokes a
// port itself.
#include <sys/io.h>
void Poke() {
    outb(0, 0x80);
}
