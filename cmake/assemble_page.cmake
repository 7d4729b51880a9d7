# Makes the one page the program loads (ui/index.html in the build folder) from ui/page.html with its
# style sheet and script put in where it links them.
#   cmake -DSOURCE=<ui folder> -DOUTPUT=<index.html> -P assemble_page.cmake
file(READ "${SOURCE}/page.html" page)
file(READ "${SOURCE}/style.css" style)
file(READ "${SOURCE}/script.js" script)
string(REPLACE "<link rel=\"stylesheet\" href=\"style.css\">" "<style>\n${style}</style>" page "${page}")
string(REPLACE "<script src=\"script.js\"></script>" "<script>\n${script}</script>" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
