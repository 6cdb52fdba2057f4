#include "platform/Signals.h"

void InstallCancelSignals(std::atomic<short>*)
{
    // A GUI-subsystem program gets no console signals; Cancel is the button.
}
