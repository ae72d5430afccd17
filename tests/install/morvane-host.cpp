// A host that uses CMorvane alone, as the README's host does but without calling the
// platform library itself first.
#include <cstdio>

#include <morvane/Morvane.h>

int main() {
    int connected = -1;
    {
        CMorvane store;  // no database kind set: Connect does nothing and returns 0
        connected = store.Connect();
    }
    std::printf("CMorvane::Connect without a kind: %d\n", connected);
    return connected == 0 ? 0 : 1;
}
