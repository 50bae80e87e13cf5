// The streaming skeleton of XfmDo, shared by both plug-ins.
#ifndef VORTIGEN_FRAME_STREAMING_H
#define VORTIGEN_FRAME_STREAMING_H

#include "stage.h"
#include "xfm.h"

// Streams the record's selection through the stage: reads it block by
// block, hands each frame to the stage, cross-fades, clips and writes each
// block back where it was read. Returns 0 when the selection was processed
// or cancelled (or was empty), 1 when the record was refused or working
// memory could not be obtained.
int streamSelection(const XfmDoRecord* record, const SpectralStage& stage);

#endif
