// The object the entry point creates: the plug-in with its own unique ID ('Snq1') and, once the
// editor exists, its editor attached.
#pragma once

#include "plugin/ASonquad.h"

class ASonquadEdit : public ASonquad {
public:
    explicit ASonquadEdit(audioMasterCallback audioMaster);
};
