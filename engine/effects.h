// Inside the engine: the stage of an effect and the bytes of its tables.
#ifndef VORTIGEN_ENGINE_EFFECTS_H
#define VORTIGEN_ENGINE_EFFECTS_H

#include "engine.h"
#include "stage.h"

namespace vtengine {

const SpectralStage& stageOf(Effect effect);
const void* tableData(const CurveTables& tables);

}  // namespace vtengine

#endif
