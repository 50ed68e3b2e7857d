#include "module/ASonquadEdit.h"

#include "editor/ASnqEditor.h"
#include "module/EmbeddedBitmaps.h"

#include <new>

ASonquadEdit::ASonquadEdit(audioMasterCallback audioMaster)
    : ASonquad(audioMaster)
{
    setUniqueID(fourCharCode('S', 'n', 'q', '1'));
    // The editor loads its background when it is constructed.
    registerEmbeddedBitmaps();
    // The editor attaches itself (the editor field and the descriptor's editor flag); the
    // AudioEffect base deletes it.
    new (std::nothrow) ASnqEditor(this);
}
