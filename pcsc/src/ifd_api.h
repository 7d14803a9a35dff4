// The IFD handler interface of pcsc-lite (API version 3), as C++ sees it.
// Its header declares the handler's functions without C linkage.
#ifndef KVR7X_PCSC_IFD_API_H
#define KVR7X_PCSC_IFD_API_H

extern "C" {
#include <ifdhandler.h>
#include <reader.h>
}

#endif
