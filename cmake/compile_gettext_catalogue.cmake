# Compiles a gettext catalogue, and fails when a message of the sources has no finished
# translation in it: the messages are taken from the sources anew, merged with the catalogue,
# and counted. Run with cmake -P and -DXGETTEXT= -DMSGMERGE= -DMSGFMT= -DPO= -DMO= -DSOURCES=
# (a ;-list).
set(template ${MO}.pot)
set(merged ${MO}.po)
execute_process(COMMAND ${XGETTEXT} --keyword=_ --language=C++ --from-code=UTF-8 --omit-header
                        -o ${template} ${SOURCES}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${MSGMERGE} --quiet --no-fuzzy-matching -o ${merged} ${PO} ${template}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${MSGFMT} --check --statistics -o ${MO} ${merged}
                ERROR_VARIABLE statistics RESULT_VARIABLE failed)
if(failed OR statistics MATCHES "untranslated|fuzzy")
  file(REMOVE ${MO})
  message(FATAL_ERROR "${PO} is not finished (${statistics}); translate the new messages in it")
endif()
