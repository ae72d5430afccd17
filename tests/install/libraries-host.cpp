// A one-file host of both libraries, built only with `pkg-config --cflags --libs morvane quillet`.
#include <cstdio>

#include <morvane/Morvane.h>
#include <quillet/Quillet.h>

int main() {
    CoInitialize(nullptr);
    int connected = -1;
    {
        CMorvane store;  // no database kind set: Connect does nothing and returns 0
        connected = store.Connect();
    }
    IQuillet* quillet = CreateQuillet();
    bool created = quillet != nullptr;
    DeleteQuillet(quillet);
    CoUninitialize();
    std::printf("CMorvane::Connect without a kind: %d; CreateQuillet: %s\n", connected, created ? "an object" : "null");
    return connected == 0 && created ? 0 : 1;
}
