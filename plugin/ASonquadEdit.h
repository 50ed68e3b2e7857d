// The object the entry point creates: the plug-in with its own unique ID ('Snq1') and its editor
// attached.
#pragma once

#include "plugin/ASonquad.h"

class ASonquadEdit : public ASonquad {
public:
    // [host thread] The plug-in, then its editor; without memory for the editor the plug-in runs
    // without one.
    explicit ASonquadEdit(audioMasterCallback audioMaster);
};
