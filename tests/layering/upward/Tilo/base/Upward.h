// A base header that reaches for the entry layer: the layer check must name this file.
#pragma once

#include "Tilo/entry/TiloAds.h"
