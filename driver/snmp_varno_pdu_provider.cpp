#include "driver/snmp_varno_pdu_provider.h"

#include "driver/snmp_varno_pdu.h"

SNMP_VARNO_PDUProvider::~SNMP_VARNO_PDUProvider() = default;

QTXSocketDevice* SNMP_VARNO_PDUProvider::create() const { return new SNMP_VARNO_PDU; }
