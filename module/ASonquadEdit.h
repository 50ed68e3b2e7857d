// The object the entry point creates: the plug-in with its own unique ID ('Snq1') and its editor
// attached. Only the module joins the plug-in and the editor; headless programs (the command-line
// host, the plug-in's tests) construct ASonquad alone.
#pragma once

#include "plugin/ASonquad.h"

class ASonquadEdit : public ASonquad {
public:
    // [host thread] The plug-in, then its editor (after the module's bitmaps are registered with
    // the toolkit); without memory for the editor the plug-in runs without one.
    explicit ASonquadEdit(audioMasterCallback audioMaster);
};
