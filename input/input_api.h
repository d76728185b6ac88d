// Public functions of the library's input subsystem, as the game sees them.
#pragma once
