target_sources(squarefield PRIVATE src/cli/no_desktop.cpp)
