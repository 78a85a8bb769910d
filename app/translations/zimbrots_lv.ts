<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="lv_LV">
<context>
    <name>Startup</name>
    <message>
        <source>zimbrots: there is no graphical display to show the window on (DISPLAY is not set).</source>
        <translation>zimbrots: nav grafiskā displeja, kurā parādīt logu (DISPLAY nav iestatīts).</translation>
    </message>
</context>
<context>
    <name>TApplication</name>
    <message>
        <source>There is not enough memory to finish this command.</source>
        <translation>Šīs komandas izpildei nepietiek atmiņas.</translation>
    </message>
</context>
<context>
    <name>TFontDialog</name>
    <message>
        <source>Black</source>
        <translation>Melna</translation>
    </message>
    <message>
        <source>Maroon</source>
        <translation>Sarkanbrūna</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>Zaļa</translation>
    </message>
    <message>
        <source>Olive</source>
        <translation>Olīvzaļa</translation>
    </message>
    <message>
        <source>Navy</source>
        <translation>Tumšzila</translation>
    </message>
    <message>
        <source>Purple</source>
        <translation>Purpura</translation>
    </message>
    <message>
        <source>Teal</source>
        <translation>Zilganzaļa</translation>
    </message>
    <message>
        <source>Gray</source>
        <translation>Pelēka</translation>
    </message>
    <message>
        <source>Silver</source>
        <translation>Sudraba</translation>
    </message>
    <message>
        <source>Red</source>
        <translation>Sarkana</translation>
    </message>
    <message>
        <source>Lime</source>
        <translation>Spilgti zaļa</translation>
    </message>
    <message>
        <source>Yellow</source>
        <translation>Dzeltena</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>Zila</translation>
    </message>
    <message>
        <source>Fuchsia</source>
        <translation>Fuksīna</translation>
    </message>
    <message>
        <source>Aqua</source>
        <translation>Ciāna</translation>
    </message>
    <message>
        <source>White</source>
        <translation>Balta</translation>
    </message>
    <message>
        <source>Window Text</source>
        <translation>Loga teksts</translation>
    </message>
    <message>
        <source>Colo&amp;r:</source>
        <translation>&amp;Krāsa:</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>&quot;%1&quot; already exists. Do you want to replace it?</source>
        <translation>&quot;%1&quot; jau ir. Vai to aizstāt?</translation>
    </message>
</context>
<context>
    <name>TRichEditLines</name>
    <message>
        <source>Cannot save &quot;%1&quot;: %2</source>
        <translation>Nevar saglabāt &quot;%1&quot;: %2</translation>
    </message>
</context>
<context>
    <name>WebPage</name>
    <message>
        <source>Text</source>
        <translation>Teksts</translation>
    </message>
    <message>
        <source>Hacker writing</source>
        <translation>Hakeru rakstība</translation>
    </message>
    <message>
        <source>Type or paste text here.</source>
        <translation>Ieraksti vai ielīmē tekstu šeit.</translation>
    </message>
    <message>
        <source>Hacker writing appears here as you type.</source>
        <translation>Hakeru rakstība parādās šeit, kamēr raksti.</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Konvertēt</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Notīrīt</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopēt</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Kopīgot</translation>
    </message>
    <message>
        <source>Save as RTF</source>
        <translation>Saglabāt kā RTF</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Par programmu</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Fonts</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Izmērs</translation>
    </message>
    <message>
        <source>Bold</source>
        <translation>Treknraksts</translation>
    </message>
    <message>
        <source>Italic</source>
        <translation>Slīpraksts</translation>
    </message>
    <message>
        <source>File name</source>
        <translation>Faila nosaukums</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Saglabāt</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Atcelt</translation>
    </message>
    <message>
        <source>Copied.</source>
        <translation>Nokopēts.</translation>
    </message>
    <message>
        <source>Converting…</source>
        <translation>Konvertē…</translation>
    </message>
    <message>
        <source>The clipboard cannot be written: %1</source>
        <translation>Starpliktuvē nevar ierakstīt: %1</translation>
    </message>
    <message>
        <source>The conversion cannot start: %1</source>
        <translation>Konvertēšanu nevar sākt: %1</translation>
    </message>
</context>
</TS>
