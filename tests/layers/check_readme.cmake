# Fails unless README.md shows the folders' links as the build has them:
#   cmake -DREADME=README.md -DLAYERS=<build>/layers.txt -P check_readme.cmake
file(READ ${README} readme)
file(READ ${LAYERS} layers)
string(FIND "${readme}" "```\n${layers}```\n" found)
if(found EQUAL -1)
  message(FATAL_ERROR "README.md's drawing of the layers is not the build's; it should read:\n${layers}")
endif()
