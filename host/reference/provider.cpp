// The factory bases' destructors live in the host, so their virtual tables
// and type information come from the host process.
#include "qtx/provider.h"

Provider::~Provider() = default;
QTXSocketDeviceProvider::~QTXSocketDeviceProvider() = default;
