#!/usr/bin/env bash
# check_exports.sh LIBZELCORE: the reduced library exports exactly its
# operations, no more and no fewer.
set -euo pipefail
expected="ZEL_Create ZEL_CreateFromZEL ZEL_Destroy ZEL_UnLink ZEL_Terminate
ZEL_Error
ZEL_Version ZEL_Header ZEL_NodeCount ZEL_NodeID ZEL_NodeCoordinates ZEL_InterfaceNodeIDs ZEL_Eigenvalue
ZEL_ModeCount ZEL_Mode ZEL_NodalMass ZEL_FaceListSize ZEL_ElementFaces
ZEL_GenStiffSelected
ZEL_NodeIndex ZEL_ModeNumber
ZEL_SetHeader ZEL_SetNodeCoordinates ZEL_SetGlobalMass ZEL_SetNodalMass ZEL_SetNodalInertia
ZEL_SetNodalInertiaEntry ZEL_SetFaceList ZEL_SetFace ZEL_SetInterfaceNode ZEL_CalculateGlobalMassFromNodeMass
ZEL_SetMode ZEL_SetModeVec ZEL_SetModeEntry
ZEL_SetGeneralizedStiffness ZEL_SetGeneralizedMass ZEL_SetModalPreload ZEL_SetModalLoad ZEL_SetModalLoadLabel
ZEL_SetUnits
ZEL_CleanupUnitsLabelSynonym
ZEL_write_ZEL"
exported=$(nm -D --defined-only "$1" | awk 'NF >= 3 {print $3}' | sed 's/@.*//' | sort -u)
wanted=$(echo "$expected" | tr ' ' '\n' | sort -u)
if [ "$exported" != "$wanted" ]; then
  echo "exported but not wanted:"; comm -23 <(echo "$exported") <(echo "$wanted")
  echo "wanted but not exported:"; comm -13 <(echo "$exported") <(echo "$wanted")
  exit 1
fi
echo "$(echo "$wanted" | wc -l) operations, exactly"
