// Public functions of the library's graphics subsystem, as the game sees them.
#pragma once
