/*
 * zelcore.h - the reduced ZEL library, libzelcore.
 *
 * libzelcore builds a flexible body and writes it, and answers the basic
 * queries, with the declarations of zel.h. It provides only these of them:
 *
 *   ZEL_Create ZEL_CreateFromZEL ZEL_Destroy ZEL_UnLink ZEL_Terminate
 *   ZEL_Error ZEL_Version ZEL_Header ZEL_NodeCount ZEL_NodeID
 *   ZEL_NodeCoordinates ZEL_InterfaceNodeIDs ZEL_Eigenvalue ZEL_ModeCount
 *   ZEL_Mode ZEL_NodalMass ZEL_FaceListSize ZEL_ElementFaces
 *   ZEL_GenStiffSelected ZEL_NodeIndex ZEL_ModeNumber ZEL_SetHeader
 *   ZEL_SetNodeCoordinates ZEL_SetGlobalMass ZEL_SetNodalMass
 *   ZEL_SetNodalInertia ZEL_SetNodalInertiaEntry ZEL_SetFaceList ZEL_SetFace
 *   ZEL_SetInterfaceNode ZEL_CalculateGlobalMassFromNodeMass ZEL_SetMode
 *   ZEL_SetModeVec ZEL_SetModeEntry ZEL_SetGeneralizedStiffness
 *   ZEL_SetGeneralizedMass ZEL_SetModalPreload ZEL_SetModalLoad
 *   ZEL_SetModalLoadLabel ZEL_SetUnits ZEL_write_ZEL
 *
 * and ZEL_CleanupUnitsLabelSynonym below. It reads and writes the format
 * levels 10, 20, 30, 31, 40 and 41 (double precision), knows value sets 0
 * (mode shapes) and 1 (modal stress), and a smaller unit vocabulary.
 */
#ifndef ZELCORE_H
#define ZELCORE_H

#include "zel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Turns the unit label in buffer (at least 16 bytes), compared without
 * regard to letter case with the spellings libzelcore knows, into its
 * canonical name: 1, or 0 with the buffer untouched when no spelling
 * matches. "dozen_slug" becomes "DOZEN_SLUG". */
ZEL_API int ZEL_CleanupUnitsLabelSynonym(char *buffer);

#ifdef __cplusplus
}
#endif

#endif /* ZELCORE_H */
