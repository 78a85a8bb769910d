# Builds a Qt translation, and fails when a text of the sources has no finished translation in
# it: the texts are taken from the sources anew into a copy of the translation, which is then
# released. Run with cmake -P and -DLUPDATE= -DLRELEASE= -DTS= -DQM= -DSOURCE_DIRS=a,b,...
string(REPLACE "," ";" source_dirs "${SOURCE_DIRS}")
set(updated ${QM}.ts)
file(COPY_FILE ${TS} ${updated})
# Quiet unless it fails: it warns of every out-of-class tr() it reads.
execute_process(COMMAND ${LUPDATE} -silent -locations none -extensions cpp,h,js ${source_dirs} -ts ${updated}
                OUTPUT_VARIABLE scanned ERROR_VARIABLE scanned RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "lupdate failed:\n${scanned}")
endif()
execute_process(COMMAND ${LRELEASE} ${updated} -qm ${QM}
                OUTPUT_VARIABLE report ERROR_VARIABLE report COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCH "and ([0-9]+) unfinished" unfinished "${report}")
set(unfinished ${CMAKE_MATCH_1})
string(REGEX MATCH "Ignored ([0-9]+) untranslated" untranslated "${report}")
set(untranslated ${CMAKE_MATCH_1})
if(NOT unfinished STREQUAL "0" OR untranslated)
  file(REMOVE ${QM})
  message(FATAL_ERROR "${TS} is not finished: translate the new or unfinished texts in it.\n${report}")
endif()
