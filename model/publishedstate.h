#pragma once

#include "model/projectorcells.h"
#include "model/projectorstate.h"

class Projector;

// The projector's state as a plain copy, as the windows read it; no projector is contacted.
ProjectorState PublishedState(const Projector &projector);

// The texts of a projector's list row for a copied state.
ProjectorCells PublishedCells(const ProjectorState &state);
