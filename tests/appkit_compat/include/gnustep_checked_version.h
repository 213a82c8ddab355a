/* The compatibility layer was written against exactly these GNUstep
   releases (Debian 12); another release may already provide, or declare
   differently, what the layer adds. */
#pragma once
#include <GNUstepBase/GSConfig.h>
#include <GNUstepGUI/GSVersion.h>

#if GNUSTEP_BASE_MAJOR_VERSION != 1 || GNUSTEP_BASE_MINOR_VERSION != 28 || GNUSTEP_BASE_SUBMINOR_VERSION != 0
#error "AppKit compatibility layer: checked against gnustep-base 1.28.0 only"
#endif
#if GNUSTEP_GUI_MAJOR_VERSION != 0 || GNUSTEP_GUI_MINOR_VERSION != 29 || GNUSTEP_GUI_SUBMINOR_VERSION != 0
#error "AppKit compatibility layer: checked against gnustep-gui 0.29.0 only"
#endif
