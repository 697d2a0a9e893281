// QTXController: the host's controller, known to devices only by handle.
#pragma once

class QTXController;
