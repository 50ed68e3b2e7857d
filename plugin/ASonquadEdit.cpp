#include "plugin/ASonquadEdit.h"

ASonquadEdit::ASonquadEdit(audioMasterCallback audioMaster)
    : ASonquad(audioMaster)
{
    setUniqueID(fourCharCode('S', 'n', 'q', '1'));
}
