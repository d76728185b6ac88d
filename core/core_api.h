// Public functions of the library's core subsystem, as the game sees them.
#pragma once
