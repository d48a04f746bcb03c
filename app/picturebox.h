#pragma once
// placeholder: the picture-box widget comes with the display work
